// The RFC 2217 codec. Arbitrary server bytes fed in arbitrary pieces: the codec never carries
// more data than it was given, answers only with whole telnet commands, and gives the same data,
// replies and state however the bytes are split. Then, once a server has agreed, arbitrary data
// escaped by the client side and fed back comes out unchanged.
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "platform/Rfc2217Codec.h"

using namespace tavrin;

namespace {

[[noreturn]] void Broken(const char* what) {
    fprintf(stderr, "RFC 2217: %s\n", what);
    abort();
}

using Bytes = std::vector<uint8_t>;

struct Result {
    Bytes data, reply;
    CRfc2217Codec::Phase phase;
};

Result Run(const uint8_t* bytes, size_t size, size_t maxPiece, std::minstd_rand& rng) {
    CRfc2217Codec codec;
    SerialParams params;
    params.baud = 115200;
    codec.Start(params);
    Result r;
    std::uniform_int_distribution<size_t> piece(0, maxPiece);
    for (size_t at = 0; at < size;) {
        const size_t n = std::min(piece(rng), size - at);
        codec.Feed(bytes + at, n, r.data, r.reply);
        at += n;
    }
    r.phase = codec.State();
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    std::minstd_rand rng(static_cast<unsigned>(size));
    const Result whole = Run(bytes, size, size, rng);
    const Result pieces = Run(bytes, size, 5, rng);
    if (whole.data.size() > size) Broken("more data than input");
    if (whole.data != pieces.data || whole.reply != pieces.reply || whole.phase != pieces.phase)
        Broken("the split changed the outcome");
    if (!whole.reply.empty() && whole.reply[0] != CRfc2217Codec::kIac)
        Broken("a reply that is not a command");

    // Round trip: the input as serial data, escaped, after an agreeing server.
    Bytes escaped;
    CRfc2217Codec::Escape(bytes, size, escaped);
    CRfc2217Codec codec;
    codec.Start(SerialParams{});
    Bytes data, reply;
    codec.Feed(escaped.data(), escaped.size(), data, reply);
    if (data != Bytes(bytes, bytes + size)) Broken("escaped data did not come back unchanged");
    return 0;
}
