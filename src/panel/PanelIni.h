#pragma once
#include <functional>
#include <string>

#include "app/IniFile.h"

namespace tavrin {

// The panel's reads of its INI file. Every read hands back the value the panel will use (the
// stored value, or the default when the key is missing) and records that value to be written
// back, so a file that lacks a key gains it with the value in force. Flush writes the recorded
// values in one replace of the file.
//
// Two rules keep the write-back from harming the operator's file:
//  - a key already holding the value in use is not rewritten, so its quotes and spacing stay;
//  - nothing is written to a file that does not exist: a mistyped panel file name does not
//    leave a new file of defaults behind;
//  - nor to a file the user may not trust (OwnFile.h: a FIFO, another user's file, over 1 MiB,
//    NUL bytes), which also reads as empty.
class CPanelIni {
public:
    explicit CPanelIni(std::string path) : path_(std::move(path)) {}

    // The value of key in section, or defaultValue when missing. convert, when given, turns
    // that text into the text actually used (a number limited to its range); the used text is
    // what is returned and written back.
    std::string Read(const std::string& section, const std::string& key, const std::string& defaultValue,
                     const std::function<std::string(const std::string&)>& convert = {});

    // Writes the recorded values; true when there was nothing to write or the file took them.
    bool Flush();

    // The file is there and may be read and written back (a regular file of the user).
    bool FileExists() const;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    ProfileSections pending_;
};

}  // namespace tavrin
