#include "link/SerialChannel.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "app/IniFile.h"
#include "app/Language.h"
#include "app/StatusText.h"
#include "link/SerialPortList.h"
#include "platform/NetworkSerialAddress.h"

namespace tavrin {

namespace {

constexpr const char* kPortsSection = "Ports";
constexpr int kMaxPortNumber = 9999;

// n of "COMn" (n >= 1, decimal digits only), or 0.
int PortNumber(const std::string& comName) {
    if (comName.size() < 4 || comName.compare(0, 3, "COM") != 0) return 0;
    int n = 0;
    for (size_t i = 3; i < comName.size(); ++i) {
        char c = comName[i];
        if (c < '0' || c > '9') return 0;
        n = n * 10 + (c - '0');
        if (n > kMaxPortNumber) return 0;
    }
    return n;
}

std::string SystemErrorText(int error) {
    char buffer[256] = {};
    // The GNU strerror_r returns the text, which may or may not be in buffer.
    const char* text = strerror_r(error, buffer, sizeof buffer);
    return text != nullptr ? std::string(text) : std::string("error ") + std::to_string(error);
}

}  // namespace

std::string DeviceForPort(const std::string& comName, const std::string& profilePath) {
    if (comName.empty()) return {};
    if (comName[0] == '/' || IsNetworkSerialPath(comName)) return comName;
    if (!profilePath.empty()) {
        std::string mapped = ReadProfileString(profilePath, kPortsSection, comName, "");
        if (!mapped.empty()) return mapped;
    }
    int n = PortNumber(comName);
    if (n <= 0) return {};
    return "/dev/ttyS" + std::to_string(n - 1);
}

std::string DescribeSerialOpenFailure(const SerialOpenFailure& failure) {
    const bool english = CurrentLanguage() != 0;
    const std::string& dev = failure.device;
    if (!failure.detail.empty() && failure.error != EBUSY) return dev + ": " + failure.detail;
    if (dev.empty()) {
        const std::string name = failure.portName.empty() ? std::string("(none)") : failure.portName;
        return english
                   ? "No serial device is known for " + name +
                         " (map it in section [Ports] of the settings file)."
                   : name +
                         " に対応するシリアルデバイスがありません(設定ファイルの [Ports] で指定して下さい)。";
    }
    switch (failure.error) {
        case ENOENT:
        case ENODEV:
        case ENXIO: return english ? dev + " does not exist." : dev + " が存在しません。";
        case EACCES:
        case EPERM:
            return english
                       ? "No permission to open " + dev + ": the user must be a member of the dialout group."
                       : dev + " を開く権限がありません。ユーザーを dialout グループに加えて下さい。";
        case EBUSY: {
            const std::string port = failure.portName != dev && !failure.portName.empty()
                                         ? failure.portName + " (" + dev + ")"
                                         : dev;
            if (failure.holder.empty())
                return english ? port + " is in use by another program."
                               : port + " は他のプログラムが使用中です。";
            return english ? port + " is in use by " + failure.holder + "."
                           : port + " は " + failure.holder + " が使用中です。";
        }
        case ENOTTY:
            return english ? dev + " is not a serial device." : dev + " はシリアルデバイスではありません。";
        case EINVAL:
            return english
                       ? dev +
                             " does not accept the line settings (baud rate, data bits, parity or stop bits)."
                       : dev +
                             " はこの通信設定(ボーレート、データビット、パリティ、ストップビット)"
                             "を受け付けません。";
        default: return dev + ": " + SystemErrorText(failure.error);
    }
}

CSerialChannel::CSerialChannel(SerialDevice& device, Clock& clock, std::function<std::string()> profilePath)
    : device_(device), clock_(clock), profilePath_(std::move(profilePath)) {}

int CSerialChannel::OpenComPort(const std::string& portName, int baudRate, [[maybe_unused]] int stopCount,
                                int dataBits, int stopBitsCode, int parityCode) {
    // The old port goes first, so a failed open leaves no port open.
    pending_ = false;
    if (device_.IsOpen()) {
        device_.Purge();
        device_.Close();
    }
    lastFailure_ =
        SerialOpenFailure{portName, DeviceForPort(portName, profilePath_ ? profilePath_() : ""), 0, {}, {}};
    if (lastFailure_.device.empty()) {
        lastFailure_.error = ENOENT;
        return -1;
    }
    SerialParams params;
    params.baud = baudRate;
    params.dataBits = dataBits;
    params.stopBitsCode = stopBitsCode;
    params.parityCode = parityCode;
    openDevice_.clear();
    return Settle(device_.Open(lastFailure_.device, params), lastFailure_.device, params);
}

int CSerialChannel::Settle(int rc, const std::string& device, const SerialParams& params) {
    if (rc == EINPROGRESS && device_.IsOpen()) {
        pending_ = true;
        pendingDevice_ = device;
        pendingParams_ = params;
        return kOpenPending;
    }
    pending_ = false;
    if (rc != 0) {
        lastFailure_.device = device;
        lastFailure_.error = rc;
        lastFailure_.holder = rc == EBUSY ? device_.BusyHolder() : std::string();
        lastFailure_.detail = device_.FailureText(CurrentLanguage() != 0);
        if (device_.IsOpen()) device_.Close();
        return -1;
    }
    openDevice_ = device;
    openNode_ = IsNetworkSerialPath(device) ? device : ResolveDevicePath(device);
    lastParams_ = params;
    writeFailing_ = writeFailureIsNew_ = false;
    return 0;
}

int CSerialChannel::ContinueOpen() {
    if (!pending_) return device_.IsOpen() ? 0 : -1;
    const int rc = device_.ContinueOpen();
    if (rc == EINPROGRESS) return kOpenPending;
    return Settle(rc, pendingDevice_, pendingParams_);
}

std::string CSerialChannel::LineFailureText() const {
    return device_.FailureText(CurrentLanguage() != 0);
}

int CSerialChannel::ReopenDevice(const std::string& device) {
    pending_ = false;
    if (device_.IsOpen()) device_.Close();
    openDevice_.clear();
    if (device.empty()) return -1;
    lastFailure_ = SerialOpenFailure{device, device, 0, {}, {}};
    return Settle(device_.Open(device, lastParams_), device, lastParams_);
}

void CSerialChannel::CloseComPort() {
    openDevice_.clear();
    pending_ = false;
    if (!device_.IsOpen()) return;
    device_.Purge();
    device_.Close();
}

size_t CSerialChannel::WriteComPort(const uint8_t* bytes, size_t count) {
    if (!IsOpen() || bytes == nullptr || count == 0) return 0;
    const size_t written = device_.Write(bytes, count);
    // A line that has gone away is told by the line-lost report, not once more here.
    const bool failed = written < count && device_.LineError() == 0;
    writeFailureIsNew_ = failed && !writeFailing_;
    writeFailing_ = failed;
    writeFailure_ = Status();
    unsent_ = count - std::min(written, count);
    writeCount_ = count;
    if (failed) {
        const int error = device_.LastWriteError();
        const std::string& port = lastFailure_.portName;
        const std::string where =
            port.empty() || port == openDevice_ ? openDevice_ : port + " (" + openDevice_ + ")";
        writeFailure_ = Status::FromErrno("write", where, error != 0 ? error : EIO);
        if (error == ETIMEDOUT)
            writeFailure_.reason = "the line took nothing for " + std::to_string(kWriteWaitMs) + " ms";
    }
    return written;
}

std::string DescribeSerialWriteFailure(const Status& failure, size_t unsent, size_t count) {
    const std::string detail = StatusDetail(failure);
    if (CurrentLanguage() == 1)
        return "Serial send error: " + std::to_string(unsent) + " of " + std::to_string(count) +
               " bytes were not sent to " + detail;
    return "シリアル送信エラー: " + std::to_string(count) + " バイト中 " + std::to_string(unsent) +
           " バイトを送信できませんでした: " + detail;
}

int CSerialChannel::ReadComPort(uint8_t* buffer, int atMost) {
    if (!IsOpen() || buffer == nullptr || atMost <= 0) return 0;
    size_t amount = std::min(device_.Queued(), static_cast<size_t>(atMost));
    if (amount == 0) return 0;
    return static_cast<int>(device_.Read(buffer, amount));
}

void CSerialChannel::PurgeComPort() {
    if (IsOpen()) device_.Purge();
}

size_t CSerialChannel::DrainComPort(const std::function<void(const uint8_t* chunk, int length)>& onChunk) {
    size_t total = 0;
    for (;;) {
        chunk_.fill(0);
        int n = ReadComPort(chunk_.data(), kSerialChunk);
        if (n <= 0) break;
        total += static_cast<size_t>(n);
        if (onChunk) onChunk(chunk_.data(), n);
    }
    return total;
}

}  // namespace tavrin
