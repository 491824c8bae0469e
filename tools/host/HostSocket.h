#pragma once
#include <string>

namespace tavrin::host {

// The control socket beside the host socket: the commands of tavrin-host talk to a running
// `serve` through it.
std::string ControlSocketPath(const std::string& hostSocket);

// Makes the socket's folder (0700, with missing parents) and checks that it is ours and closed
// to others. Empty string on success, else why not.
std::string PrepareSocketFolder(const std::string& socketPath);

// A listening Unix socket at path, 0600. A stale socket file is replaced; a live one (another
// serve answers there) is not. The descriptor, or -1 with why in error.
int ListenAt(const std::string& path, std::string& error);

// Why ConnectTo found no serve to talk to.
enum class ConnectFailure {
    None,
    NothingListening,  // no socket there, or nobody accepts on it
    NoPermission,      // the socket or its folder may not be used by this user (another user's)
    ForeignPeer,       // the process listening there runs as another user
};

// Connects to the Unix socket at path and checks that the peer runs as this user. The
// descriptor (blocking), or -1 with the reason in *failure when given.
int ConnectTo(const std::string& path, ConnectFailure* failure = nullptr);

// True when the process at the other end of fd runs as this user (SO_PEERCRED).
bool PeerIsSameUser(int fd);

// Blocking whole-record I/O for the control socket. 0, or -1 when the link broke.
struct ControlIo {
    static int SendAll(int fd, const std::string& bytes);
};

}  // namespace tavrin::host
