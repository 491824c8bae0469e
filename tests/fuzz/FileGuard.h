#pragma once
// Stops the fuzzer when the code under test creates, writes, renames or deletes a file outside
// the one folder it may use. The libc entry points that do so are replaced in the fuzz program;
// while a guard is armed, each call is checked before it is forwarded: the path must name a
// file directly inside the folder. A second check runs after each input: the process's
// working folder, an empty folder of its own, must still be empty (this catches a file reached
// through a call the replacements do not see).
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "FuzzFolder.h"

namespace tavrin::fuzz {

// The folder (with its trailing '/') the code may change files in, or empty: not armed.
inline std::string& GuardedFolder() {
    static std::string folder;
    return folder;
}

inline bool InsideGuardedFolder(const char* path) {
    const std::string& folder = GuardedFolder();
    if (path == nullptr) return false;
    const std::string p(path);
    if (p.compare(0, folder.size(), folder) != 0) return false;
    const std::string rest = p.substr(folder.size());
    return !rest.empty() && rest.find('/') == std::string::npos && rest != "." && rest != "..";
}

inline void CheckChange(const char* what, const char* path) {
    if (GuardedFolder().empty() || InsideGuardedFolder(path)) return;
    fprintf(stderr, "FILE GUARD: %s(\"%s\") outside the transfer folder %s\n", what, path ? path : "(null)",
            GuardedFolder().c_str());
    // Disarmed, so that the fuzzer can write the input that did it.
    GuardedFolder().clear();
    abort();
}

inline void CheckAt(const char* what, int dirfd, const char* path) {
    // Only absolute paths can be checked against the folder; anything relative to another
    // folder is outside it by definition.
    if (GuardedFolder().empty()) return;
    if (dirfd != AT_FDCWD && path && path[0] != '/') CheckChange(what, "(relative to a folder handle)");
    CheckChange(what, path);
}

inline bool Changes(int flags) {
    return (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC)) != 0;
}

// The working folder of the process is an empty folder made for the run.
inline const std::string& SentinelFolder() {
    static const std::string folder = [] {
        const std::string made = tavrin::fuzz::MakeFuzzFolder("cwd");
        if (chdir(made.c_str()) != 0) abort();
        return made;
    }();
    return folder;
}

inline void CheckSentinelEmpty() {
    DIR* dir = opendir(SentinelFolder().c_str());
    if (!dir) abort();
    while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            fprintf(stderr, "FILE GUARD: \"%s\" appeared in the working folder\n", name.c_str());
            abort();
        }
    }
    closedir(dir);
}

template <typename F>
F Next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

}  // namespace tavrin::fuzz

// The replaced libc entry points (only in the fuzz program that includes this header once).

// The mode argument of the open family is there only when the file may be created; it must be
// read with va_arg in the variadic function itself, hence a macro.
#define TAVRIN_FUZZ_OPEN_MODE(flags, mode) \
    mode_t mode = 0;                       \
    if ((flags) & (O_CREAT | O_TMPFILE)) { \
        va_list args;                      \
        va_start(args, flags);             \
        mode = va_arg(args, mode_t);       \
        va_end(args);                      \
    }

extern "C" {

int open(const char* path, int flags, ...) {
    TAVRIN_FUZZ_OPEN_MODE(flags, mode);
    if (tavrin::fuzz::Changes(flags)) tavrin::fuzz::CheckChange("open", path);
    static auto real = tavrin::fuzz::Next<int (*)(const char*, int, ...)>("open");
    return real(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    TAVRIN_FUZZ_OPEN_MODE(flags, mode);
    if (tavrin::fuzz::Changes(flags)) tavrin::fuzz::CheckChange("open64", path);
    static auto real = tavrin::fuzz::Next<int (*)(const char*, int, ...)>("open64");
    return real(path, flags, mode);
}

int openat(int dirfd, const char* path, int flags, ...) {
    TAVRIN_FUZZ_OPEN_MODE(flags, mode);
    if (tavrin::fuzz::Changes(flags)) tavrin::fuzz::CheckAt("openat", dirfd, path);
    static auto real = tavrin::fuzz::Next<int (*)(int, const char*, int, ...)>("openat");
    return real(dirfd, path, flags, mode);
}

int creat(const char* path, mode_t mode) {
    tavrin::fuzz::CheckChange("creat", path);
    static auto real = tavrin::fuzz::Next<int (*)(const char*, mode_t)>("creat");
    return real(path, mode);
}

FILE* fopen(const char* path, const char* mode) {
    if (mode && (mode[0] != 'r' || mode[1] == '+' || (mode[1] && mode[2] == '+')))
        tavrin::fuzz::CheckChange("fopen", path);
    static auto real = tavrin::fuzz::Next<FILE* (*)(const char*, const char*)>("fopen");
    return real(path, mode);
}

int unlink(const char* path) {
    tavrin::fuzz::CheckChange("unlink", path);
    static auto real = tavrin::fuzz::Next<int (*)(const char*)>("unlink");
    return real(path);
}

int unlinkat(int dirfd, const char* path, int flags) {
    tavrin::fuzz::CheckAt("unlinkat", dirfd, path);
    static auto real = tavrin::fuzz::Next<int (*)(int, const char*, int)>("unlinkat");
    return real(dirfd, path, flags);
}

int remove(const char* path) {
    tavrin::fuzz::CheckChange("remove", path);
    static auto real = tavrin::fuzz::Next<int (*)(const char*)>("remove");
    return real(path);
}

int rename(const char* from, const char* to) {
    tavrin::fuzz::CheckChange("rename from", from);
    tavrin::fuzz::CheckChange("rename to", to);
    static auto real = tavrin::fuzz::Next<int (*)(const char*, const char*)>("rename");
    return real(from, to);
}

int renameat(int fromfd, const char* from, int tofd, const char* to) {
    tavrin::fuzz::CheckAt("renameat from", fromfd, from);
    tavrin::fuzz::CheckAt("renameat to", tofd, to);
    static auto real = tavrin::fuzz::Next<int (*)(int, const char*, int, const char*)>("renameat");
    return real(fromfd, from, tofd, to);
}

int truncate(const char* path, off_t length) {
    tavrin::fuzz::CheckChange("truncate", path);
    static auto real = tavrin::fuzz::Next<int (*)(const char*, off_t)>("truncate");
    return real(path, length);
}

int mkdir(const char* path, mode_t mode) {
    tavrin::fuzz::CheckChange("mkdir", path);
    static auto real = tavrin::fuzz::Next<int (*)(const char*, mode_t)>("mkdir");
    return real(path, mode);
}

int rmdir(const char* path) {
    tavrin::fuzz::CheckChange("rmdir", path);
    static auto real = tavrin::fuzz::Next<int (*)(const char*)>("rmdir");
    return real(path);
}

}  // extern "C"#include "FuzzFolder.h"
