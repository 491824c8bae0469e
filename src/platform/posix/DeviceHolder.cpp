#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <string>

#include "platform/posix/PosixSerialDevice.h"

namespace tavrin {

namespace {

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

bool AllDigits(const char* name) {
    if (*name == '\0') return false;
    for (; *name != '\0'; ++name)
        if (*name < '0' || *name > '9') return false;
    return true;
}

// Whether process pid has the character device rdev open.
bool HoldsDevice(const std::string& pid, dev_t rdev) {
    std::string folder = "/proc/";
    folder += pid;
    folder += "/fd";
    std::unique_ptr<DIR, DirCloser> fds(opendir(folder.c_str()));
    if (!fds) return false;  // another user's process: not visible
    while (dirent* e = readdir(fds.get())) {
        if (!AllDigits(e->d_name)) continue;
        std::string entry = folder;
        entry += '/';
        entry += e->d_name;
        struct stat st {};
        if (stat(entry.c_str(), &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == rdev) return true;
    }
    return false;
}

}  // namespace

std::string DeviceHolder(const std::string& path) {
    struct stat device {};
    if (stat(path.c_str(), &device) != 0 || !S_ISCHR(device.st_mode)) return {};
    std::unique_ptr<DIR, DirCloser> proc(opendir("/proc"));
    if (!proc) return {};
    const std::string self = std::to_string(getpid());
    while (dirent* e = readdir(proc.get())) {
        if (!AllDigits(e->d_name) || self == e->d_name) continue;
        if (!HoldsDevice(e->d_name, device.st_rdev)) continue;
        std::string commPath = "/proc/";
        commPath += e->d_name;
        commPath += "/comm";
        std::string name;
        std::ifstream comm(commPath);
        std::getline(comm, name);
        if (name.empty()) name.push_back('?');
        name += " (pid ";
        name += e->d_name;
        name += ')';
        return name;
    }
    return {};
}

}  // namespace tavrin
