#pragma once
#include <sys/stat.h>
#include <sys/types.h>

#include <functional>

#include "platform/HostChannel.h"

namespace tavrin {

// What the checks of a host socket look at. Tests give fakes; the default is the system's.
struct HostSocketSystem {
    // lstat(2): 0 and st filled, or -1.
    std::function<int(const std::string& path, struct stat& st)> lstat;
    // The user id of the process at the other end of a connected Unix socket (SO_PEERCRED):
    // 0 and uid filled, or -1.
    std::function<int(int fd, uid_t& uid)> peerUid;
    // This process's real user id.
    std::function<uid_t()> uid;
};

HostSocketSystem RealHostSocketSystem();

// The socket and its folder must both be ours and closed to group and others. Returns
// kHostOpened or the reason for refusing.
int CheckHostSocketPath(const std::string& path, const HostSocketSystem& system);

// A Unix stream socket to the host editor, non-blocking; sends never raise SIGPIPE.
class CPosixHostChannel : public HostChannel {
public:
    explicit CPosixHostChannel(HostSocketSystem system = RealHostSocketSystem());
    ~CPosixHostChannel() override;
    CPosixHostChannel(const CPosixHostChannel&) = delete;
    CPosixHostChannel& operator=(const CPosixHostChannel&) = delete;

    int Open(const std::string& path) override;
    int Send(const HostRecord& record) override;
    int Receive(std::vector<HostRecord>& out) override;
    int Descriptor() const override { return fd_; }
    bool IsOpen() const override { return fd_ >= 0; }
    void Close() override;

private:
    HostSocketSystem system_;
    CHostRecordDecoder decoder_;
    int fd_ = -1;
};

}  // namespace tavrin
