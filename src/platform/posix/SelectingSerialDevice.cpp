#include "platform/posix/SelectingSerialDevice.h"

#include "platform/NetworkSerialAddress.h"

namespace tavrin {

int CSelectingSerialDevice::Open(const std::string& path, const SerialParams& params) {
    SerialDevice* chosen = IsNetworkSerialPath(path) ? static_cast<SerialDevice*>(&network_) : &local_;
    // Opening while open closes the old device first, whichever kind it was.
    if (chosen != active_ && active_->IsOpen()) active_->Close();
    active_ = chosen;
    return active_->Open(path, params);
}

}  // namespace tavrin
