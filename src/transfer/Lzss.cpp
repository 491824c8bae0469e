#include "transfer/Lzss.h"

namespace tavrin {

namespace {
constexpr int kN = CLzssCoder::kRingSize;
constexpr int kF = CLzssCoder::kLongestMatch;
constexpr int kNilNode = CLzssCoder::kNil;
}  // namespace

CLzssCoder::CLzssCoder() {
    ResetCompression();
}

void CLzssCoder::ResetCompression() {
    encodeRing.fill(0);
    decodeRing.fill(0);
    InitTree();
    matchPosition = 0;
    matchLength = 0;
    codeBuffer.fill(0);
    codeBufferPtr = 1;
    mask = 1;
    s = 0;
    r = kStartPosition;
    lookAhead = 0;
    lastMatchLength = 0;
    advanceIndex = 0;
    phase = Phase::Fill;

    decodeR = kStartPosition;
    cursor = DecodeCursor{};
}

void CLzssCoder::InitTree() {
    // Tree roots are the right children of N + 1 ... N + 256, one per first byte; every root,
    // child and parent starts as nil.
    lson.fill(kNilNode);
    rson.fill(kNilNode);
    dad.fill(kNilNode);
}

// Inserts the string of kF bytes at ring position r into its tree and leaves the longest
// match found in matchPosition / matchLength. A string equal to an existing one replaces it,
// since the newer position is the one that stays in the ring longer.
void CLzssCoder::InsertNode(int node) {
    const uint8_t* key = &encodeRing[node];
    int cmp = 1;
    int p = kN + 1 + key[0];
    rson[node] = lson[node] = kNilNode;
    matchLength = 0;
    for (;;) {
        if (cmp >= 0) {
            if (rson[p] != kNilNode) {
                p = rson[p];
            } else {
                rson[p] = static_cast<uint16_t>(node);
                dad[node] = static_cast<uint16_t>(p);
                return;
            }
        } else {
            if (lson[p] != kNilNode) {
                p = lson[p];
            } else {
                lson[p] = static_cast<uint16_t>(node);
                dad[node] = static_cast<uint16_t>(p);
                return;
            }
        }
        int i = 1;
        for (; i < kF; ++i) {
            cmp = key[i] - encodeRing[p + i];
            if (cmp != 0) break;
        }
        if (i > matchLength) {
            matchPosition = p;
            matchLength = i;
            if (matchLength >= kF) break;
        }
    }
    // Full match: node takes p's place in the tree.
    dad[node] = dad[p];
    lson[node] = lson[p];
    rson[node] = rson[p];
    dad[lson[p]] = static_cast<uint16_t>(node);
    dad[rson[p]] = static_cast<uint16_t>(node);
    if (rson[dad[p]] == p)
        rson[dad[p]] = static_cast<uint16_t>(node);
    else
        lson[dad[p]] = static_cast<uint16_t>(node);
    dad[p] = kNilNode;
}

void CLzssCoder::DeleteNode(int p) {
    if (dad[p] == kNilNode) return;  // not in a tree
    int q;
    if (rson[p] == kNilNode) {
        q = lson[p];
    } else if (lson[p] == kNilNode) {
        q = rson[p];
    } else {
        q = lson[p];
        if (rson[q] != kNilNode) {
            do {
                q = rson[q];
            } while (rson[q] != kNilNode);
            rson[dad[q]] = lson[q];
            dad[lson[q]] = dad[q];
            lson[q] = lson[p];
            dad[lson[p]] = static_cast<uint16_t>(q);
        }
        rson[q] = rson[p];
        dad[rson[p]] = static_cast<uint16_t>(q);
    }
    dad[q] = dad[p];
    if (rson[dad[p]] == p)
        rson[dad[p]] = static_cast<uint16_t>(q);
    else
        lson[dad[p]] = static_cast<uint16_t>(q);
    dad[p] = kNilNode;
}

// Codes the item at r (a literal or the current match) and writes the flag group once it
// holds eight items.
void CLzssCoder::EmitItem(uint8_t* out, size_t& outLen) {
    if (matchLength > lookAhead) matchLength = lookAhead;
    if (matchLength <= kThreshold) {
        matchLength = 1;
        codeBuffer[0] |= mask;
        codeBuffer[codeBufferPtr++] = encodeRing[r];
    } else {
        codeBuffer[codeBufferPtr++] = static_cast<uint8_t>(matchPosition);
        codeBuffer[codeBufferPtr++] =
            static_cast<uint8_t>(((matchPosition >> 4) & 0xF0) | (matchLength - (kThreshold + 1)));
    }
    mask = static_cast<uint8_t>(mask << 1);
    if (mask == 0) {
        for (int i = 0; i < codeBufferPtr; ++i) out[outLen++] = codeBuffer[i];
        codeBuffer[0] = 0;
        codeBufferPtr = 1;
        mask = 1;
    }
}

size_t CLzssCoder::CompressText(const uint8_t* text, uint8_t* out, int final) {
    size_t outLen = 0;
    const uint8_t* p = text;
    bool running = true;
    while (running) {
        switch (phase) {
            case Phase::Fill:
                while (lookAhead < kF && *p != 0) encodeRing[r + lookAhead++] = *p++;
                if (lookAhead < kF && !final) {
                    running = false;  // wait for the rest of the first look-ahead
                    break;
                }
                if (lookAhead == 0) {
                    phase = Phase::Done;  // an empty text codes to nothing
                    break;
                }
                // The kF strings before r (all zero bytes so far) and the one at r.
                for (int i = 1; i <= kF; ++i) InsertNode(r - i);
                InsertNode(r);
                phase = Phase::Emit;
                break;
            case Phase::Emit:
                EmitItem(out, outLen);
                lastMatchLength = matchLength;
                advanceIndex = 0;
                phase = Phase::Advance;
                break;
            case Phase::Advance:
                while (advanceIndex < lastMatchLength && *p != 0) {
                    uint8_t c = *p++;
                    DeleteNode(s);
                    encodeRing[s] = c;
                    if (s < kF - 1) encodeRing[s + kN] = c;  // mirror for compares across the end
                    s = (s + 1) & (kN - 1);
                    r = (r + 1) & (kN - 1);
                    InsertNode(r);
                    ++advanceIndex;
                }
                if (advanceIndex < lastMatchLength) {
                    if (!final) {
                        running = false;  // resume this advance with the next text
                        break;
                    }
                    // End of input: the look-ahead shrinks instead.
                    while (advanceIndex++ < lastMatchLength) {
                        DeleteNode(s);
                        s = (s + 1) & (kN - 1);
                        r = (r + 1) & (kN - 1);
                        if (--lookAhead) InsertNode(r);
                    }
                }
                phase = lookAhead > 0 ? Phase::Emit : Phase::Done;
                if (phase == Phase::Done && codeBufferPtr > 1) {
                    for (int i = 0; i < codeBufferPtr; ++i) out[outLen++] = codeBuffer[i];
                    codeBuffer[0] = 0;
                    codeBufferPtr = 1;
                    mask = 1;
                }
                break;
            case Phase::Done: running = false; break;
        }
    }
    out[outLen] = 0;
    return outLen;
}

// Walks count code bytes. With commit, writes the plain bytes to out and updates the ring and
// the cursor; without, only counts the plain bytes on a copy of the cursor.
size_t CLzssCoder::Decode(const uint8_t* codes, size_t count, uint8_t* out, bool commit) {
    DecodeCursor c = cursor;
    size_t in = 0;
    size_t written = 0;
    for (;;) {
        if (!c.itemOpen) {
            uint16_t shifted = static_cast<uint16_t>(c.flags >> 1);
            if ((shifted & 0x100) == 0) {
                if (in == count) break;
                c.flags = static_cast<uint16_t>(codes[in++] | 0xFF00);
            } else {
                c.flags = shifted;
            }
            c.itemOpen = true;
        }
        if (c.flags & 1) {
            if (in == count) break;
            uint8_t b = codes[in++];
            if (commit) {
                out[written] = b;
                decodeRing[decodeR] = b;
                decodeR = (decodeR + 1) & (kN - 1);
            }
            ++written;
        } else {
            if (!c.firstPending) {
                if (in == count) break;
                c.firstByte = codes[in++];
                c.firstPending = true;
            }
            if (in == count) break;
            uint8_t second = codes[in++];
            c.firstPending = false;
            int position = c.firstByte | ((second & 0xF0) << 4);
            int length = (second & 0x0F) + kThreshold + 1;
            if (commit) {
                for (int k = 0; k < length; ++k) {
                    uint8_t b = decodeRing[(position + k) & (kN - 1)];
                    out[written + k] = b;
                    decodeRing[decodeR] = b;
                    decodeR = (decodeR + 1) & (kN - 1);
                }
            }
            written += length;
        }
        c.itemOpen = false;
    }
    if (commit) cursor = c;
    return written;
}

size_t CLzssCoder::DecompressBlock(const uint8_t* codes, size_t count, uint8_t* out, size_t outCapacity) {
    size_t plain = Decode(codes, count, out, false);
    if (plain >= outCapacity) return kDecodeRefused;  // no room for the bytes and the NUL
    Decode(codes, count, out, true);
    out[plain] = 0;
    return plain;
}

}  // namespace tavrin
