// The LZSS block coder. Mode 0: arbitrary codes decoded in arbitrary pieces into output areas
// of arbitrary sizes: nothing is written past an area, a refused piece leaves the state as it
// was. Mode 1: an arbitrary text compressed in arbitrary pieces must decode, in other arbitrary
// pieces, to the same text, and give the same codes as one call.
#include <cstring>
#include <random>
#include <vector>

#include "transfer/Lzss.h"

using namespace tavrin;

namespace {

[[noreturn]] void Broken(const char* what) {
    fprintf(stderr, "LZSS: %s\n", what);
    abort();
}

void DecodePieces(const uint8_t* codes, size_t size, std::minstd_rand& rng) {
    CLzssCoder coder;
    std::uniform_int_distribution<size_t> pieceSize(0, 300);
    std::uniform_int_distribution<size_t> areaSize(1, 5000);
    size_t at = 0;
    while (at < size) {
        const size_t n = std::min(pieceSize(rng), size - at);
        const size_t area = areaSize(rng);
        std::vector<uint8_t> out(area);
        const size_t plain = coder.DecompressBlock(codes + at, n, out.data(), out.size());
        if (plain != CLzssCoder::kDecodeRefused) {
            if (plain >= area) Broken("wrote past the area");
            if (out[plain] != 0) Broken("no NUL after the plain bytes");
            at += n;
        } else {
            // A refused piece changed nothing: it fits a large enough area now.
            std::vector<uint8_t> big(n * 18 + 8);
            if (coder.DecompressBlock(codes + at, n, big.data(), big.size()) == CLzssCoder::kDecodeRefused)
                Broken("refused a piece a large area can hold");
            at += n;
        }
    }
}

std::vector<uint8_t> Compress(CLzssCoder& coder, const std::string& text, std::minstd_rand* rng) {
    std::vector<uint8_t> codes;
    std::uniform_int_distribution<size_t> pieceSize(0, 400);
    size_t at = 0;
    do {
        const size_t n = rng ? std::min(pieceSize(*rng), text.size() - at) : text.size() - at;
        const std::string piece = text.substr(at, n);
        std::vector<uint8_t> out(CLzssCoder::CompressedBound(piece.size()) + 1, 0xA5);
        const size_t written =
            coder.CompressText(reinterpret_cast<const uint8_t*>(piece.c_str()), out.data(), 0);
        if (written >= out.size()) Broken("compressed past the bound");
        codes.insert(codes.end(), out.begin(), out.begin() + written);
        at += n;
    } while (at < text.size());
    std::vector<uint8_t> out(CLzssCoder::CompressedBound(0) + 1);
    const uint8_t empty[1] = {0};
    const size_t written = coder.CompressText(empty, out.data(), 1);
    codes.insert(codes.end(), out.begin(), out.begin() + written);
    return codes;
}

void RoundTrip(const uint8_t* data, size_t size, std::minstd_rand& rng) {
    // The coder takes texts: they end at the first NUL.
    const std::string text(reinterpret_cast<const char*>(data),
                           strnlen(reinterpret_cast<const char*>(data), size));
    CLzssCoder pieces;
    const std::vector<uint8_t> codes = Compress(pieces, text, &rng);
    CLzssCoder whole;
    if (Compress(whole, text, nullptr) != codes) Broken("codes depend on how the text was cut");
    CLzssCoder decoder;
    std::string plain;
    std::uniform_int_distribution<size_t> pieceSize(0, 200);
    size_t at = 0;
    while (at < codes.size()) {
        const size_t n = std::min(pieceSize(rng), codes.size() - at);
        std::vector<uint8_t> out(n * 18 + 8);
        const size_t got = decoder.DecompressBlock(codes.data() + at, n, out.data(), out.size());
        if (got == CLzssCoder::kDecodeRefused) Broken("refused its own codes");
        plain.append(reinterpret_cast<const char*>(out.data()), got);
        at += n;
    }
    if (plain != text) Broken("decoded text differs from the original");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    std::minstd_rand rng(data[1] + 1);
    if (data[0] & 1)
        RoundTrip(data + 2, size - 2, rng);
    else
        DecodePieces(data + 2, size - 2, rng);
    return 0;
}
