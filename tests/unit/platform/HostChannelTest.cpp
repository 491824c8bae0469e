#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/HostRecord.h"
#include "platform/posix/PosixHostChannel.h"

namespace tavrin {
namespace {

TEST(HostRecordTest, RecordsSurviveAnySplitOfTheStream) {
    const std::vector<HostRecord> records{
        {kHostMsgAttached, 4242, 0, ""},
        {kHostMsgCopyData, -1, kHostKindSaved, "/home/op/sv1A2B.tmp"},
        {kHostMsgBusy, 1LL << 40, -7, ""},
        {kHostMsgCopyData, 9, 0, std::string("ID\r\0\xff", 5)},
        {kHostMsgCopyData, 9, 0, std::string(kHostRecordMaxData, 'x')},
    };
    std::string stream;
    for (const HostRecord& r : records) stream += EncodeHostRecord(r);
    ASSERT_EQ(EncodeHostRecord(records[0]).size(), kHostRecordHeader);
    // Little-endian fields at fixed places: other editors implement this by hand.
    EXPECT_EQ(EncodeHostRecord({0x8002, 7, 0, ""}).substr(0, 5), std::string("\x02\x80\x00\x00\x07", 5));

    for (size_t piece :
         {size_t{1}, size_t{3}, size_t{23}, size_t{24}, size_t{25}, size_t{4096}, stream.size()}) {
        CHostRecordDecoder decoder;
        std::vector<HostRecord> got;
        for (size_t at = 0; at < stream.size(); at += piece) {
            const std::string chunk = stream.substr(at, piece);
            ASSERT_EQ(decoder.Feed(reinterpret_cast<const uint8_t*>(chunk.data()), chunk.size()), 0);
            HostRecord r;
            while (decoder.Next(r)) got.push_back(r);
        }
        EXPECT_EQ(got, records) << "pieces of " << piece;
    }
}

TEST(HostRecordTest, OversizedLengthBreaksTheStreamForGood) {
    std::string bad = EncodeHostRecord({kHostMsgCopyData, 1, 0, ""});
    bad[20] = 0x01;
    bad[22] = 0x01;  // 65537 bytes announced
    CHostRecordDecoder decoder;
    decoder.Feed(reinterpret_cast<const uint8_t*>(bad.data()), bad.size());
    HostRecord r;
    EXPECT_FALSE(decoder.Next(r));
    EXPECT_TRUE(decoder.Broken());
    const std::string good = EncodeHostRecord({kHostMsgAttached, 1, 0, ""});
    EXPECT_EQ(decoder.Feed(reinterpret_cast<const uint8_t*>(good.data()), good.size()), -1);
    EXPECT_FALSE(decoder.Next(r));
}

// A listening Unix socket in a private temporary folder.
struct HostSocketScene {
    HostSocketScene() {
        char pattern[] = "/tmp/tavrin-hostchan-XXXXXX";
        folder = mkdtemp(pattern);
        path = folder + "/host.sock";
        listenFd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::strcpy(a.sun_path, path.c_str());
        bind(listenFd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        chmod(path.c_str(), 0600);
        listen(listenFd, 4);
    }
    ~HostSocketScene() {
        if (peer >= 0) close(peer);
        close(listenFd);
        unlink(path.c_str());
        rmdir(folder.c_str());
    }
    int Accept() { return peer = accept(listenFd, nullptr, nullptr); }
    std::string folder, path;
    int listenFd = -1;
    int peer = -1;
};

// The system's answers, each of which a case may replace.
HostSocketSystem Faked(std::function<void(const std::string&, struct stat&)> alter, int peerUid) {
    HostSocketSystem s = RealHostSocketSystem();
    auto real = s.lstat;
    s.lstat = [real, alter](const std::string& p, struct stat& st) {
        const int rc = real(p, st);
        if (rc == 0 && alter) alter(p, st);
        return rc;
    };
    if (peerUid >= 0)
        s.peerUid = [peerUid](int, uid_t& uid) {
            uid = static_cast<uid_t>(peerUid);
            return 0;
        };
    return s;
}

TEST(PosixHostChannelTest, RefusesSocketsOfOthersOrOpenToOthers) {
    const uid_t me = getuid();
    const uid_t other = me + 1000;
    auto isSocket = [](const std::string& p) { return p.size() > 5 && p.substr(p.size() - 5) == ".sock"; };
    struct Case {
        const char* name;
        std::function<void(const std::string&, struct stat&)> alter;
        int peerUid;  // -1: the real one
        int expected;
    };
    const std::vector<Case> cases{
        {"ours, closed", nullptr, -1, kHostOpened},
        {"socket of another user",
         [&](const std::string& p, struct stat& st) {
             if (isSocket(p)) st.st_uid = other;
         },
         -1, kHostForeignOwner},
        {"folder of another user",
         [&](const std::string& p, struct stat& st) {
             if (!isSocket(p)) st.st_uid = other;
         },
         -1, kHostForeignOwner},
        {"socket open to the group",
         [&](const std::string& p, struct stat& st) {
             if (isSocket(p)) st.st_mode |= 0060;
         },
         -1, kHostOpenPermissions},
        {"socket open to all",
         [&](const std::string& p, struct stat& st) {
             if (isSocket(p)) st.st_mode |= 0666;
         },
         -1, kHostOpenPermissions},
        {"folder open to all (like /tmp)",
         [&](const std::string& p, struct stat& st) {
             if (!isSocket(p)) st.st_mode |= 01777;
         },
         -1, kHostOpenPermissions},
        {"a plain file, not a socket",
         [&](const std::string& p, struct stat& st) {
             if (isSocket(p)) st.st_mode = S_IFREG | 0600;
         },
         -1, kHostNotASocket},
        {"host process of another user", nullptr, static_cast<int>(other), kHostForeignPeer},
    };
    for (const Case& c : cases) {
        HostSocketScene scene;
        CPosixHostChannel channel(Faked(c.alter, c.peerUid));
        EXPECT_EQ(channel.Open(scene.path), c.expected) << c.name;
        EXPECT_EQ(channel.IsOpen(), c.expected == kHostOpened) << c.name;
    }
}

TEST(PosixHostChannelTest, NothingToOpenWithoutAListener) {
    CPosixHostChannel channel;
    EXPECT_EQ(channel.Open(""), kHostNoSocket);
    EXPECT_EQ(channel.Open("/nonexistent/tavrin/host.sock"), kHostNoSocket);
    HostSocketScene scene;
    close(scene.listenFd);  // the file stays, nobody listens: a stale socket
    scene.listenFd = socket(AF_UNIX, SOCK_STREAM, 0);
    EXPECT_EQ(channel.Open(scene.path), kHostNoSocket);
    EXPECT_FALSE(channel.IsOpen());
}

TEST(PosixHostChannelTest, CarriesRecordsBothWaysAndNoticesTheHostLeaving) {
    HostSocketScene scene;
    CPosixHostChannel channel;
    ASSERT_EQ(channel.Open(scene.path), kHostOpened);
    ASSERT_GE(scene.Accept(), 0);

    ASSERT_EQ(channel.Send({kHostMsgBusy, 77, 1, ""}), 0);
    char buffer[64];
    ASSERT_EQ(recv(scene.peer, buffer, sizeof buffer, 0), static_cast<ssize_t>(kHostRecordHeader));

    const std::string in =
        EncodeHostRecord({kHostMsgNumber, 3, 0, ""}) + EncodeHostRecord({kHostMsgCopyData, 1, 0, "dir\r"});
    send(scene.peer, in.data(), in.size(), 0);
    std::vector<HostRecord> got;
    for (int i = 0; i < 100 && got.size() < 2; ++i) {
        ASSERT_EQ(channel.Receive(got), 0);
        usleep(1000);
    }
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].data, "dir\r");

    close(scene.peer);
    scene.peer = -1;
    got.clear();
    EXPECT_EQ(channel.Receive(got), -1);
    EXPECT_FALSE(channel.IsOpen());
    EXPECT_EQ(channel.Send({kHostMsgBusy, 77, 0, ""}), -1);
}

TEST(PosixHostChannelTest, AHostThatStopsReadingCannotHoldTheTerminal) {
    HostSocketScene scene;
    CPosixHostChannel channel;
    ASSERT_EQ(channel.Open(scene.path), kHostOpened);
    ASSERT_GE(scene.Accept(), 0);  // accepted, never read
    const HostRecord big{kHostMsgCopyData, 1, kHostKindSaved, std::string(60000, 'p')};
    int rc = 0;
    int sends = 0;
    while (rc == 0 && sends < 1000) {
        rc = channel.Send(big);
        ++sends;
    }
    EXPECT_EQ(rc, -1) << "the kernel buffers filled and the send gave up";
    EXPECT_FALSE(channel.IsOpen());
}

}  // namespace
}  // namespace tavrin
