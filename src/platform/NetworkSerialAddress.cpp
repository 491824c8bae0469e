#include "platform/NetworkSerialAddress.h"

#include <strings.h>

namespace tavrin {

namespace {

constexpr size_t kSchemeLength = 10;  // "rfc2217://"
constexpr int kMaxTcpPort = 65535;
constexpr int kFrameFields = 4;

}  // namespace

bool IsNetworkSerialPath(const std::string& text) {
    return text.size() >= kSchemeLength &&
           strncasecmp(text.c_str(), kNetworkSerialScheme, kSchemeLength) == 0;
}

bool ParseNetworkSerialPath(const std::string& path, NetworkSerialAddress& address) {
    if (!IsNetworkSerialPath(path)) return false;
    const std::string rest = path.substr(kSchemeLength);
    size_t portStart = 0;
    std::string host;
    if (!rest.empty() && rest[0] == '[') {
        const size_t close = rest.find(']');
        if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':') return false;
        host = rest.substr(1, close - 1);
        portStart = close + 2;
    } else {
        const size_t colon = rest.find(':');
        if (colon == std::string::npos) return false;
        host = rest.substr(0, colon);
        portStart = colon + 1;
    }
    if (host.empty() || host.find_first_of(" /[]") != std::string::npos) return false;
    if (rest[0] != '[' && host.find(':') != std::string::npos) return false;
    const std::string digits = rest.substr(portStart);
    if (digits.empty() || digits.size() > 5) return false;
    int port = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        port = port * 10 + (c - '0');
    }
    if (port < 1 || port > kMaxTcpPort) return false;
    address.host = host;
    address.port = port;
    return true;
}

bool SplitNetworkSerialText(const std::string& text, std::string& path, std::string& frame) {
    if (!IsNetworkSerialPath(text)) return false;
    size_t cut = text.size();
    for (int i = 0; i < kFrameFields; ++i) {
        cut = cut == 0 ? std::string::npos : text.rfind(':', cut - 1);
        if (cut == std::string::npos || cut < kSchemeLength) return false;
    }
    path = text.substr(0, cut);
    frame = text.substr(cut + 1);
    NetworkSerialAddress address;
    return ParseNetworkSerialPath(path, address);
}

}  // namespace tavrin
