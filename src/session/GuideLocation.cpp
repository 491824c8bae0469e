#include "session/GuideLocation.h"

#include <unistd.h>

#include <array>
#include <filesystem>

#ifndef TAVRIN_INSTALL_GUIDE_DIR
#define TAVRIN_INSTALL_GUIDE_DIR "share/doc/tavrin/guide"
#endif
#ifndef TAVRIN_BUILD_GUIDE_DIR
#define TAVRIN_BUILD_GUIDE_DIR ""
#endif

namespace tavrin {

namespace {

bool Readable(const std::string& path) {
    return access(path.c_str(), R_OK) == 0;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

}  // namespace

std::string RunningProgramPath() {
    std::array<char, 4096> buffer{};
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0) return {};
    return std::string(buffer.data(), static_cast<size_t>(n));
}

std::string GuideFileFor(int language, const std::string& exePath, const std::string& buildGuideFolder) {
    const std::string page = language == 0 ? "/ja/index.html" : "/en/index.html";
    const std::string installed =
        std::filesystem::path(FolderOf(exePath) + "/../" TAVRIN_INSTALL_GUIDE_DIR + page)
            .lexically_normal()
            .string();
    if (Readable(installed)) return installed;
    if (!buildGuideFolder.empty() && Readable(buildGuideFolder + page)) return buildGuideFolder + page;
    return installed;
}

std::string GuideFile(int language) {
    return GuideFileFor(language, RunningProgramPath(), TAVRIN_BUILD_GUIDE_DIR);
}

}  // namespace tavrin
