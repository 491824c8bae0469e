#include "platform/posix/HostLookup.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <thread>

namespace tavrin {

// What the looking thread and the owner share. The thread writes the answer, then raises the
// event; the owner reads the answer only after it has seen the event. The last of the two to
// let go closes the descriptor.
struct CHostLookup::Shared {
    ~Shared() {
        if (event >= 0) ::close(event);
    }
    int event = -1;
    std::atomic<bool> done{false};
    int error = 0;
    std::vector<ResolvedAddress> addresses;
};

CHostLookup::~CHostLookup() {
    Abandon();
}

bool CHostLookup::IsNumeric(const std::string& host, int family) {
    unsigned char buffer[sizeof(in6_addr)];
    if (family != AF_INET6 && inet_pton(AF_INET, host.c_str(), buffer) == 1) return true;
    return family != AF_INET && inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

int CHostLookup::Start(const std::string& host, const std::string& service, int family) {
    Abandon();
    auto shared = std::make_shared<Shared>();
    shared->event = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (shared->event < 0) return errno;
    try {
        std::thread([shared, host, service, family] { LookUp(*shared, host, service, family); }).detach();
    } catch (const std::system_error& e) {
        return e.code().value() != 0 ? e.code().value() : EAGAIN;
    }
    shared_ = std::move(shared);
    return 0;
}

int CHostLookup::Descriptor() const {
    return shared_ ? shared_->event : -1;
}

bool CHostLookup::Finished() const {
    return shared_ && shared_->done.load(std::memory_order_acquire);
}

std::vector<ResolvedAddress> CHostLookup::TakeAnswer(std::string& failure) {
    failure.clear();
    std::vector<ResolvedAddress> addresses;
    if (!Finished()) return addresses;
    if (shared_->error != 0) {
        failure = gai_strerror(shared_->error);
    } else {
        addresses = std::move(shared_->addresses);
    }
    shared_.reset();
    return addresses;
}

void CHostLookup::Abandon() {
    shared_.reset();
}

void CHostLookup::LookUp(Shared& shared, const std::string& host, const std::string& service, int family) {
    addrinfo hints{};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int error = host.empty()
                    ? EAI_NONAME
                    : getaddrinfo(host.c_str(), service.empty() ? nullptr : service.c_str(), &hints, &found);
    if (error == 0) {
        for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
            if (a->ai_addrlen > sizeof(sockaddr_storage)) continue;
            ResolvedAddress one;
            std::memcpy(&one.address, a->ai_addr, a->ai_addrlen);
            one.length = a->ai_addrlen;
            one.family = a->ai_family;
            shared.addresses.push_back(one);
        }
        if (shared.addresses.empty()) error = EAI_NONAME;
    }
    if (found != nullptr) freeaddrinfo(found);
    shared.error = error;
    shared.done.store(true, std::memory_order_release);
    const uint64_t one = 1;
    (void)!::write(shared.event, &one, sizeof one);
}

}  // namespace tavrin
