#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace tavrin {

// LZSS block coder of the serial transfer: a 4096-byte ring, matches of 3 to 18 bytes found
// with binary search trees, both directions streamable so that a file can be coded piece by
// piece with the state carried from one block to the next.
//
// Code format: a flag byte governs the next eight items, least significant bit first. Bit 1: a
// literal byte follows. Bit 0: a two-byte match follows; byte 1 = low 8 bits of the ring
// position, byte 2 = high 4 bits of the position (upper nibble) and match length - 3 (lower
// nibble). Positions are ring positions, not distances. Both directions start writing at ring
// position 4078 with the positions before it holding zero bytes.
class CLzssCoder {
public:
    static constexpr int kRingSize = 4096;                            // N
    static constexpr int kLongestMatch = 18;                          // F
    static constexpr int kThreshold = 2;                              // a match is coded only from 3 bytes on
    static constexpr int kNil = kRingSize;                            // no tree node
    static constexpr int kStartPosition = kRingSize - kLongestMatch;  // 4078
    static constexpr size_t kRingBytes = kRingSize + kLongestMatch - 1;

    // DecompressBlock's answer when the plain text (and its NUL) would not fit the output.
    static constexpr size_t kDecodeRefused = static_cast<size_t>(-1);

    // Upper bound of what one CompressText call writes for a text of textLength bytes (the
    // terminating NUL not counted). Per input byte the codes cost at most 1 + 1/8 bytes (a
    // literal and its share of a flag byte; a match costs 2 bytes for at least 3 input bytes).
    // One call may also release up to seven items buffered by earlier calls, the match that
    // straddles the call boundary and, with final, the drained look-ahead: 64 bytes cover those.
    static constexpr size_t CompressedBound(size_t textLength) { return textLength + textLength / 8 + 64; }

    CLzssCoder();

    // Both directions back to the initial state: trees empty, code buffer empty, ring write
    // position 4078, ring zero-filled, nothing pending.
    void ResetCompression();

    // Compresses the NUL-terminated text (stopping at its first NUL) and appends the codes at
    // out, followed by a NUL byte that is not counted. With final = 0 what cannot be decided
    // yet stays in the coder; with final != 0 the look-ahead is drained and the last, partly
    // filled flag group is written, after which the coder writes nothing until reset. The
    // codes of a whole text are the same however the text is cut into calls. out must hold
    // CompressedBound(strlen(text)) + 1 bytes. Returns the number of code bytes written.
    size_t CompressText(const uint8_t* text, uint8_t* out, int final);

    // Decodes count code bytes into out and writes a NUL after the plain bytes. A flag byte or
    // a match cut by the end of the block is completed from the next block. When the plain
    // bytes and the NUL would not fit outCapacity nothing is written, the state is unchanged
    // and kDecodeRefused is returned. Otherwise returns the number of plain bytes written.
    size_t DecompressBlock(const uint8_t* codes, size_t count, uint8_t* out, size_t outCapacity);

    // The codes decoded so far end inside a match: its first byte came, its second has not.
    // At the end of a file this means the codes were cut short.
    bool DecodePending() const { return cursor.firstPending; }

private:
    enum class Phase { Fill, Emit, Advance, Done };

    // Decoder position in the code stream: which flag bits remain and whether an item's first
    // match byte has already been read.
    struct DecodeCursor {
        uint16_t flags = 0;
        bool itemOpen = false;  // the flag bit of the current item has been taken
        bool firstPending = false;
        uint8_t firstByte = 0;
    };

    void InitTree();
    void InsertNode(int r);
    void DeleteNode(int p);
    void EmitItem(uint8_t* out, size_t& outLen);
    size_t Decode(const uint8_t* codes, size_t count, uint8_t* out, bool commit);

    // Compressor.
    std::array<uint8_t, kRingBytes> encodeRing{};
    std::array<uint16_t, kRingSize + 257> lson{};
    std::array<uint16_t, kRingSize + 257> rson{};
    std::array<uint16_t, kRingSize + 257> dad{};
    int matchPosition = 0;
    int matchLength = 0;
    std::array<uint8_t, 17> codeBuffer{};
    int codeBufferPtr = 1;
    uint8_t mask = 1;
    int s = 0;
    int r = kStartPosition;
    int lookAhead = 0;  // bytes in the look-ahead (placed so far while filling)
    int lastMatchLength = 0;
    int advanceIndex = 0;
    Phase phase = Phase::Fill;

    // Decompressor. Kept apart from the compressor's ring so that the two directions can never
    // disturb each other.
    std::array<uint8_t, kRingSize> decodeRing{};
    int decodeR = kStartPosition;
    DecodeCursor cursor;
};

}  // namespace tavrin
