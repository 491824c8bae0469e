#include "transfer/TransferProgressText.h"

#include <cstdio>

#include "app/Language.h"

namespace tavrin {

namespace {

std::string Bytes(uint64_t n) {
    char text[32];
    if (n < 10 * 1024)
        std::snprintf(text, sizeof text, "%llu B", static_cast<unsigned long long>(n));
    else if (n < 10 * 1024 * 1024)
        std::snprintf(text, sizeof text, "%.1f KB", static_cast<double>(n) / 1024.0);
    else
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(n) / (1024.0 * 1024.0));
    return text;
}

std::string Elapsed(int64_t ms) {
    const long long seconds = ms / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
    return text;
}

}  // namespace

int ProgressPercent(const TransferProgress& progress) {
    if (progress.save || progress.total == 0) return -1;
    const uint64_t done = progress.bytes > progress.total ? progress.total : progress.bytes;
    return static_cast<int>(done * 100 / progress.total);
}

std::string DescribeTransferProgress(const TransferProgress& progress) {
    const bool english = CurrentLanguage() == 1;
    std::string text =
        progress.save ? (english ? "Saving " : "保存中 ") : (english ? "Loading " : "ロード中 ");
    text += progress.file + ": " + Bytes(progress.bytes);
    if (!progress.save && progress.total > 0) {
        text += (english ? " of " : " / ") + Bytes(progress.total);
        text += " (" + std::to_string(ProgressPercent(progress)) + "%)";
    }
    if (progress.elapsedMs >= 1000) {
        const uint64_t rate = progress.bytes * 1000 / static_cast<uint64_t>(progress.elapsedMs);
        text += ", " + Bytes(rate) + "/s";
    }
    text += ", " + Elapsed(progress.elapsedMs);
    text += english ? "  (Esc cancels)" : "  (Escで中止)";
    return text;
}

}  // namespace tavrin
