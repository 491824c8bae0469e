#pragma once
#include <sys/types.h>

#include <cstddef>
#include <string>

namespace tavrin {

// The one door through which the files that steer the program are opened: the settings file,
// terminal setup files, the command button panel's file and macro files. Such a file is used
// only when it is
//  - a regular file: a FIFO, a device, a socket or a folder is refused without waiting (the
//    open never blocks, a device is never opened at all);
//  - the user's own or root's, and reached through no symbolic link of another user (a link
//    planted in a shared folder must not lead the program into someone else's file);
//  - no larger than the rules allow, and, for INI texts, free of NUL bytes (a binary file is
//    no settings file, and must not be rewritten as one).
// The user is the effective user of the process.

inline constexpr size_t kMaxSettingsFileBytes = size_t{1} << 20;  // settings, setups, panel files
inline constexpr size_t kMaxMacroFileBytes = size_t{16} << 20;    // macros are read a line at a time

struct OwnFileRules {
    size_t maxBytes = kMaxSettingsFileBytes;
    bool refuseNul = true;
};
inline constexpr OwnFileRules kIniFileRules{kMaxSettingsFileBytes, true};
inline constexpr OwnFileRules kMacroFileRules{kMaxMacroFileBytes, false};

enum class OwnFileFault {
    kNone,        // usable
    kMissing,     // nothing of that name (a settings file may still be created there)
    kNotRegular,  // a FIFO, device, socket or folder; `type` says which
    kOtherOwner,  // the file belongs to another user; `owner` says whom
    kOtherLink,   // a symbolic link of another user on the way; `owner` says whom
    kTooLarge,    // more bytes than the rules allow
    kHoldsNul,    // a NUL byte where text is wanted
    kUnreadable,  // open, stat or read failed; `error` is the errno
};

struct OwnFileCheck {
    OwnFileFault fault = OwnFileFault::kNone;
    int error = 0;     // kUnreadable, kMissing
    mode_t type = 0;   // kNotRegular: the S_IFMT bits
    uid_t owner = 0;   // kOtherOwner, kOtherLink
    size_t limit = 0;  // kTooLarge: the bound that was passed

    bool Usable() const { return fault == OwnFileFault::kNone; }
    // Usable, or simply not there yet.
    bool UsableOrMissing() const { return fault == OwnFileFault::kNone || fault == OwnFileFault::kMissing; }
    // Why the file is refused, as a clause for "... cannot be used: <reason>." (UTF-8);
    // english 0 gives the Japanese text. Empty when usable.
    std::string Reason(int english = 1) const;
    // An errno standing for the fault, for callers that report errno texts (EFBIG, EPERM, ...).
    int Errno() const;
};

// The operator's line for a refused file: "The file <path> cannot be used: <reason>." in
// English, or its Japanese form (english 0). UTF-8.
std::string RefusedFileText(const std::string& path, const OwnFileCheck& check, int english);

// Opens path for reading when it is a file of ours as above. The descriptor (close-on-exec,
// blocking again), or -1 with the fault in `check`. The NUL rule is not applied here (the
// content has not been read); ReadOwnFile applies it.
int OpenOwnFile(const std::string& path, const OwnFileRules& rules, OwnFileCheck& check);

// The whole content of an own file, with every rule applied. `contents` is empty unless usable.
OwnFileCheck ReadOwnFile(const std::string& path, const OwnFileRules& rules, std::string& contents);

// The verdict ReadOwnFile would give, without keeping the content.
OwnFileCheck CheckOwnFile(const std::string& path, const OwnFileRules& rules);

}  // namespace tavrin
