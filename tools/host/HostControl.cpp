#include "HostControl.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "HostSocket.h"

namespace tavrin::host {

int Request(const std::string& hostSocket, uint32_t request, int terminal, const std::string& data,
            std::string& reply, int64_t lParam) {
    ConnectFailure failure = ConnectFailure::None;
    const int fd = ConnectTo(ControlSocketPath(hostSocket), &failure);
    if (fd < 0) {
        switch (failure) {
            case ConnectFailure::NoPermission:
                reply = "refused: permission denied on " + hostSocket +
                        " (the socket or its folder belongs to another user)";
                break;
            case ConnectFailure::ForeignPeer:
                reply = "refused: the tavrin-host serve on " + hostSocket + " runs as another user";
                break;
            default: reply = "no tavrin-host serve is running on " + hostSocket; break;
        }
        return 2;
    }
    HostRecord out{request, terminal, lParam, data};
    // A serve that refuses this user says so and closes: its reply is read even when the
    // request could not be sent.
    const bool requestSent = ControlIo::SendAll(fd, EncodeHostRecord(out)) == 0;
    CHostRecordDecoder decoder;
    HostRecord answer;
    uint8_t buffer[4096];
    while (!decoder.Next(answer)) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || decoder.Feed(buffer, static_cast<size_t>(n)) != 0) {
            ::close(fd);
            reply = "serve closed the control connection";
            return 2;
        }
    }
    ::close(fd);
    reply = answer.data;
    if (answer.message == kReplyRefused) return 2;
    if (!requestSent) {
        reply = "serve closed the control connection";
        return 2;
    }
    return answer.message == kReplyOk ? 0 : 1;
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        switch (c) {
            case 'r': out += '\r'; break;
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case '\\': out += '\\'; break;
            case 'x': {
                const std::string hex = text.substr(i + 1, 2);
                char* end = nullptr;
                const long value = hex.size() == 2 ? std::strtol(hex.c_str(), &end, 16) : -1;
                if (value >= 0 && end == hex.c_str() + 2) {
                    out += static_cast<char>(value);
                    i += 2;
                } else {
                    out += "\\x";
                }
                break;
            }
            default:
                out += '\\';
                out += c;
                break;
        }
    }
    return out;
}

}  // namespace tavrin::host
