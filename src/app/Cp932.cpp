#include "app/Cp932.h"

#include <iconv.h>

#include <array>
#include <cerrno>

namespace tavrin {
namespace {

constexpr const char* kReplacementUtf8 = "\xEF\xBF\xBD";  // U+FFFD

// One iconv descriptor per thread and direction, so conversions on the log-replay thread and
// the window thread never share state.
class CConverter {
public:
    CConverter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~CConverter() {
        if (Valid()) iconv_close(cd_);
    }
    CConverter(const CConverter&) = delete;
    CConverter& operator=(const CConverter&) = delete;

    bool Valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const { return cd_; }

private:
    iconv_t cd_;
};

bool IsCp932TrailByte(uint8_t byte) {
    return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}

// Bytes that make up the UTF-8 character at the front of [p, p + left): its length when it is
// well formed (or cut off by the end of the text), otherwise 1 so that a bad byte is replaced on
// its own.
size_t Utf8SequenceLength(const uint8_t* p, size_t left) {
    uint8_t b = p[0];
    size_t length = 0;
    if (b < 0x80) return 1;
    if (b >= 0xC2 && b <= 0xDF)
        length = 2;
    else if (b >= 0xE0 && b <= 0xEF)
        length = 3;
    else if (b >= 0xF0 && b <= 0xF4)
        length = 4;
    else
        return 1;
    size_t available = length < left ? length : left;
    for (size_t i = 1; i < available; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 1;
    }
    return available;  // a character cut off at the end counts as one
}

// How many input bytes a failed conversion step skips, and what it writes instead.
using SkipFunction = size_t (*)(const uint8_t* p, size_t left);

size_t SkipUtf8(const uint8_t* p, size_t left) {
    return Utf8SequenceLength(p, left);
}

size_t SkipCp932(const uint8_t* p, size_t left) {
    // An unmapped pair is replaced as one character; a lead byte whose follower cannot be a trail
    // byte (a line end, say) is replaced alone so the follower survives.
    if (left >= 2 && IsCp932LeadByte(p[0]) && IsCp932TrailByte(p[1])) return 2;
    return 1;
}

std::string Convert(const CConverter& converter, const std::string& input, const char* replacement,
                    SkipFunction skip) {
    std::string result;
    result.reserve(input.size() * 3 / 2 + 4);
    const auto* bytes = reinterpret_cast<const uint8_t*>(input.data());
    size_t left = input.size();
    size_t position = 0;

    if (!converter.Valid()) {
        // No converter on this system: ASCII passes, everything else is replaced.
        while (position < left) {
            if (bytes[position] < 0x80) {
                result.push_back(static_cast<char>(bytes[position]));
                ++position;
            } else {
                result += replacement;
                position += skip(bytes + position, left - position);
            }
        }
        return result;
    }

    iconv_t cd = converter.Get();
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::array<char, 1024> out{};
    while (position < left) {
        char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes + position));
        size_t inLeft = left - position;
        char* outPtr = out.data();
        size_t outLeft = out.size();
        size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        int error = errno;
        result.append(out.data(), out.size() - outLeft);
        position = left - inLeft;
        if (rc != static_cast<size_t>(-1)) break;
        if (error == E2BIG) continue;
        // EILSEQ: a character that does not convert; EINVAL: a sequence cut off at the end.
        result += replacement;
        position += skip(bytes + position, left - position);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    // Flush any shift state (none for these encodings, but cheap).
    char* outPtr = out.data();
    size_t outLeft = out.size();
    iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    result.append(out.data(), out.size() - outLeft);
    return result;
}

}  // namespace

std::string Utf8ToCp932(const std::string& utf8) {
    thread_local CConverter converter("CP932", "UTF-8");
    return Convert(converter, utf8, "?", SkipUtf8);
}

std::string Cp932ToUtf8(const std::string& cp932) {
    thread_local CConverter converter("UTF-8", "CP932");
    return Convert(converter, cp932, kReplacementUtf8, SkipCp932);
}

size_t Cp932CutLength(const std::string& text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text.size();
    size_t i = 0;
    while (i < maxBytes) {
        size_t width = IsCp932LeadByte(static_cast<uint8_t>(text[i])) ? 2 : 1;
        if (i + width > maxBytes) break;
        i += width;
    }
    return i;
}

std::string CutCp932(const std::string& text, size_t maxBytes) {
    return text.substr(0, Cp932CutLength(text, maxBytes));
}

}  // namespace tavrin
