// The console's error stream against a peer that floods bells: stderr (a pipe here) never
// holds a BEL, and stays short.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "e2e/HeadlessProcess.h"
#include "e2e/HeadlessTcpSupport.h"

namespace tavrin::testing {
namespace {

using namespace std::chrono_literals;

TEST(ErrorStreamE2E, ABellFloodNeverReachesStderr) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);

    TcpScene scene;
    auto terminal = scene.StartTerminal(ntohs(address.sin_port), {});
    const int peer = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    ASSERT_GE(peer, 0);
    const std::string bells(4096, '\a');
    size_t sent = 0;
    while (sent < 200 * 1024) {
        const ssize_t n = ::send(peer, bells.data(), bells.size(), MSG_NOSIGNAL);
        ASSERT_GT(n, 0);
        sent += static_cast<size_t>(n);
    }
    ::send(peer, "done>\r\n", 7, MSG_NOSIGNAL);
    EXPECT_TRUE(terminal->WaitForOutput("done>", 10000)) << terminal->Output();
    terminal->CloseInput();
    EXPECT_GE(terminal->WaitExit(5000), 0);
    ::close(peer);
    const std::string errors = terminal->Errors();
    EXPECT_EQ(errors.find('\a'), std::string::npos);
    EXPECT_LT(errors.size(), 2048u) << errors;
    ::close(listener);
}

}  // namespace
}  // namespace tavrin::testing
