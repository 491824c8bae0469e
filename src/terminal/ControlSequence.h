#pragma once
#include <cstdint>

namespace tavrin {

// The bytes that end a cursor escape (ESC [ parameters final): H f A B C D J K m.
inline bool IsControlSequenceFinal(uint8_t byte) {
    switch (byte) {
        case 'H':
        case 'f':
        case 'A':
        case 'B':
        case 'C':
        case 'D':
        case 'J':
        case 'K':
        case 'm': return true;
        default: return false;
    }
}

}  // namespace tavrin
