#pragma once
#include <sys/socket.h>

#include <memory>
#include <string>
#include <vector>

namespace tavrin {

// One address a host name stands for, ready for connect().
struct ResolvedAddress {
    sockaddr_storage address{};
    socklen_t length = 0;
    int family = 0;
};

// A host-name lookup (getaddrinfo) on a thread of its own, so that the event-loop thread never
// waits for a name server. Descriptor() becomes readable when the answer is in. A lookup given
// up (Abandon, a new Start, the object's end) finishes alone and its answer is dropped.
class CHostLookup {
public:
    CHostLookup() = default;
    ~CHostLookup();
    CHostLookup(const CHostLookup&) = delete;
    CHostLookup& operator=(const CHostLookup&) = delete;

    // Whether host is a numeric address of the family (AF_INET, AF_INET6, or AF_UNSPEC for
    // either): such a host needs no lookup.
    static bool IsNumeric(const std::string& host, int family);

    // Starts looking up host for service ("" for none) in the family. 0, or the errno of a
    // lookup that could not start.
    int Start(const std::string& host, const std::string& service, int family);
    // A lookup was started and its answer not taken yet.
    bool Pending() const { return shared_ != nullptr; }
    // The descriptor that becomes readable when the answer is in; -1 when none is pending.
    int Descriptor() const;
    // The answer is in (without waiting).
    bool Finished() const;
    // Takes the answer of a finished lookup: the addresses in the resolver's order, or an
    // empty list with failure holding the resolver's text ("Name or service not known").
    std::vector<ResolvedAddress> TakeAnswer(std::string& failure);
    void Abandon();

private:
    struct Shared;
    // The looking thread's work: the answer into shared, then the event raised.
    static void LookUp(Shared& shared, const std::string& host, const std::string& service, int family);
    std::shared_ptr<Shared> shared_;
};

}  // namespace tavrin
