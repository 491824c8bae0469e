#pragma once
// A new folder for one fuzz program's files. Memory-backed (/dev/shm) where there is one: the
// settings store syncs every write to disk, which would make each input cost milliseconds.
#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <string>
#include <vector>

namespace tavrin::fuzz {

inline std::vector<std::string>& MadeFolders() {
    static std::vector<std::string> folders;
    return folders;
}

// The folders go when the fuzz program exits.
inline void RemoveMadeFolders() {
    for (const std::string& folder : MadeFolders())
        nftw(
            folder.c_str(), [](const char* path, const struct stat*, int, FTW*) { return ::remove(path); },
            16, FTW_DEPTH | FTW_PHYS);
}

// Returns the path of a new empty folder, without a trailing '/'.
inline std::string MakeFuzzFolder(const std::string& tag) {
    struct stat st {};
    const std::string base = ::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) ? "/dev/shm" : "/tmp";
    std::string pattern = base + "/tavrin-fuzz-" + tag + "-XXXXXX";
    if (!mkdtemp(pattern.data())) abort();
    if (MadeFolders().empty()) atexit(RemoveMadeFolders);
    MadeFolders().push_back(pattern);
    return pattern;
}

}  // namespace tavrin::fuzz
