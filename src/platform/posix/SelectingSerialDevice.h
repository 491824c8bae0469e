#pragma once
#include "platform/SerialDevice.h"
#include "platform/posix/PosixSerialDevice.h"
#include "platform/posix/Rfc2217SerialDevice.h"

namespace tavrin {

// The serial device of the terminal: a local tty, or a port behind a serial device server when
// the path is "rfc2217://HOST:PORT". Each Open chooses by the path; every other call goes to the
// device chosen last.
class CSelectingSerialDevice : public SerialDevice {
public:
    int Open(const std::string& path, const SerialParams& params) override;
    void Close() override { active_->Close(); }
    bool IsOpen() const override { return active_->IsOpen(); }
    size_t Write(const uint8_t* bytes, size_t count) override { return active_->Write(bytes, count); }
    bool Writable() const override { return active_->Writable(); }
    size_t Queued() override { return active_->Queued(); }
    size_t Read(uint8_t* buffer, size_t count) override { return active_->Read(buffer, count); }
    int WaitReadable(int ms) override { return active_->WaitReadable(ms); }
    void Purge() override { active_->Purge(); }
    int Descriptor() const override { return active_->Descriptor(); }
    int LineError() override { return active_->LineError(); }
    std::string BusyHolder() const override { return active_->BusyHolder(); }
    int ContinueOpen() override { return active_->ContinueOpen(); }
    bool OpenWaitsForWrite() const override { return active_->OpenWaitsForWrite(); }
    int OpenTimeLeftMs() const override { return active_->OpenTimeLeftMs(); }
    std::string FailureText(bool english) const override { return active_->FailureText(english); }

private:
    CPosixSerialDevice local_;
    CRfc2217SerialDevice network_;
    SerialDevice* active_ = &local_;
};

}  // namespace tavrin
