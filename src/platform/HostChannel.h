#pragma once
#include <string>
#include <vector>

#include "platform/HostRecord.h"

namespace tavrin {

// Why the link to the host editor could not be opened.
enum HostOpenResult {
    kHostOpened = 0,
    kHostNoSocket = -1,         // nothing listens at the path (or no path at all)
    kHostNotASocket = -2,       // the path names something else
    kHostForeignOwner = -3,     // the socket or its folder belongs to another user
    kHostOpenPermissions = -4,  // group or others may use the socket or its folder
    kHostForeignPeer = -5,      // the process at the other end runs as another user
};

// A one-line English reason for a result of HostChannel::Open.
const char* HostOpenResultText(int result);

// The most a record may take to go out: a host that does not read its socket cannot hold the
// terminal for longer than this per message.
inline constexpr int kHostSendLimitMs = 500;

// The most one Receive reads from the socket: a host that floods the socket is taken in these
// steps, one per event-loop turn, never all at once.
inline constexpr size_t kHostReadChunk = 4096;

// The terminal's end of the link to a host editor: framed records over a local stream socket.
// Single-threaded, on the event-loop thread. After Send or Receive report a broken connection
// the channel is closed; nothing reopens it.
class HostChannel {
public:
    virtual ~HostChannel() = default;
    // Checks the socket at path (ownership, permissions) and connects to it, then checks the
    // peer's user. Returns one of HostOpenResult; on any failure the channel stays closed.
    virtual int Open(const std::string& path) = 0;
    // Sends one record, waiting at most kHostSendLimitMs for the host to take all of it.
    // 0, or -1 when the host did not take it in time or the connection broke (channel closed).
    virtual int Send(const HostRecord& record) = 0;
    // Reads what has arrived, at most kHostReadChunk bytes, without waiting and appends the
    // complete records to out (more may be waiting: the descriptor stays readable). 0 while the
    // link holds; -1 when the host closed it or sent a broken stream (channel closed; records
    // read before that are still in out).
    virtual int Receive(std::vector<HostRecord>& out) = 0;
    // The descriptor to watch for incoming records, or -1 when closed.
    virtual int Descriptor() const = 0;
    virtual bool IsOpen() const = 0;
    virtual void Close() = 0;
};

// Where the host editor listens: $TAVRIN_HOST_SOCKET, else $XDG_RUNTIME_DIR/tavrin/host.sock;
// empty when neither variable is set.
std::string HostSocketPath();

}  // namespace tavrin
