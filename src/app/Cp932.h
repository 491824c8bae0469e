#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace tavrin {

// Text in the terminal, the settings files and the controller's files is in code page 932
// (Shift-JIS with the Windows extensions). These helpers convert it to and from UTF-8 and cut it
// without splitting a two-byte character.

// True for a byte that starts a two-byte character: 0x81-0x9F and 0xE0-0xFC.
constexpr bool IsCp932LeadByte(uint8_t byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// UTF-8 to CP932. A character that has no CP932 form, or a malformed UTF-8 sequence, becomes
// one '?'. Never fails. Safe to call from any thread.
std::string Utf8ToCp932(const std::string& utf8);

// CP932 to UTF-8. A byte or pair that does not decode becomes U+FFFD. Never fails. Safe to call
// from any thread.
std::string Cp932ToUtf8(const std::string& cp932);

// The length of the longest prefix of `text` of at most `maxBytes` bytes that does not end in
// the middle of a two-byte character (a lead byte whose trail byte would be cut off).
size_t Cp932CutLength(const std::string& text, size_t maxBytes);

// `text` cut to at most `maxBytes` bytes without splitting a two-byte character.
std::string CutCp932(const std::string& text, size_t maxBytes);

}  // namespace tavrin
