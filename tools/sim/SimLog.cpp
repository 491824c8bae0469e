#include "SimLog.h"

namespace tavrin::sim {

CSimLog::~CSimLog() {
    if (file) std::fclose(file);
}

int CSimLog::Open(const std::string& path) {
    if (file) std::fclose(file);
    file = std::fopen(path.c_str(), "w");
    return file ? 0 : -2;
}

void CSimLog::Note(std::string_view text) {
    if (!file) return;
    std::fprintf(file, "# %.*s\n", static_cast<int>(text.size()), text.data());
    std::fflush(file);
}

void CSimLog::Bytes(const char* tag, const uint8_t* data, size_t count) {
    if (!file || count == 0) return;
    constexpr size_t kPerLine = 16;
    for (size_t i = 0; i < count; i += kPerLine) {
        std::fputs(tag, file);
        for (size_t j = i; j < count && j < i + kPerLine; ++j) std::fprintf(file, " %02x", data[j]);
        std::fputc('\n', file);
    }
    std::fflush(file);
}

}  // namespace tavrin::sim
