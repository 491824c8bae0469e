#include "platform/ErrorLines.h"

namespace tavrin {

std::string PrintableErrorLine(const std::string& line) {
    std::string out;
    out.reserve(line.size());
    for (char c : line) {
        const auto b = static_cast<uint8_t>(c);
        if (b == '\t') {
            out += c;
        } else if (b < 0x20) {
            out += '^';
            out += static_cast<char>(b + 0x40);
        } else if (b == 0x7F) {
            out += "^?";
        } else {
            out += c;
        }
    }
    return out;
}

CErrorLineFolder::CErrorLineFolder(std::function<void(const std::string&)> write)
    : write_(std::move(write)) {}

void CErrorLineFolder::Line(const std::string& line) {
    if (haveLast_ && line == last_) {
        ++repeats_;
        return;
    }
    Flush();
    last_ = line;
    haveLast_ = true;
    if (write_) write_(line);
}

void CErrorLineFolder::Flush() {
    if (repeats_ > 0 && write_) {
        write_(repeats_ == 1 ? std::string("last message repeated once")
                             : "last message repeated " + std::to_string(repeats_) + " times");
    }
    // After a written count the same line again is news: shown, not counted on.
    if (repeats_ > 0) haveLast_ = false;
    repeats_ = 0;
}

}  // namespace tavrin
