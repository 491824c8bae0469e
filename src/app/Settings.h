#pragma once
#include <cstddef>
#include <string>

#include "app/PelinDoc.h"

namespace tavrin {

inline constexpr const char* kSettingsSection = "Settings";

// Field lengths of the "Settings" texts, in bytes; longer stored values are cut without
// splitting a two-byte CP932 character.
inline constexpr size_t kIpAddressLength = 15;
inline constexpr size_t kTelnetPortLength = 7;
inline constexpr size_t kComPortLength = 7;
inline constexpr size_t kLoginPromptLength = 79;

// Reads the "Settings" keys into the document and `language`, in the order Language, IPAddress,
// TelnetPort, IsLinuxTelnet, Port, TimeoutSec, LoginPrompt, IsAutoLogin, IsAutoConnect, Folder.
// An empty or missing value keeps the current field; so does a value that does not convert.
// Texts are copied whole (blanks inside kept) and cut to their fields, except "Folder", which is
// kept whole: a path cut short names some other folder.
// "Port" keeps its first word cut to four characters when that is exactly COM1 ... COM8, and
// gives "COM1" for anything else. "Folder" is copied and made the working folder; when that
// fails the working folder stays and nothing is reported.
void LoadSettings(CPelinDoc& doc, const std::string& profilePath);

// Writes the "Settings" keys in the order Language, IPAddress, TelnetPort, IsLinuxTelnet, Port,
// LoginPrompt (between single quotes, so its blanks survive the trimming read), TimeoutSec,
// IsAutoLogin, IsAutoConnect, then the Folder as SaveFolderSetting does. IPAddress and
// TelnetPort are left as the file has them while the current connection is the run's transient
// one. A field that cannot be stored in one line (a line break) is left out. Returns false when
// anything was not written.
bool SaveSettings(const CPelinDoc& doc, const std::string& profilePath);

// The current connection is doc.transientConnection (the demo controller's).
bool IsTransientConnection(const CPelinDoc& doc);

// Sets `folder` to the current working folder and writes it as "Settings"/"Folder". When the
// working folder cannot be read (it was deleted) nothing changes. Returns false when nothing
// was written.
bool SaveFolderSetting(CPelinDoc& doc, const std::string& profilePath);

// The default settings file: the working folder, '/', the program name and ".ini".
std::string DefaultProfilePath(const std::string& workingFolder, const std::string& exeName);

// The current working folder, or empty when it cannot be read. The answer is kept until the
// folder is changed through ChangeFolder (or ForgetCurrentFolder is called), so the title's
// folder costs no system call on every idle turn.
std::string CurrentFolder();
// Makes folder the working folder. Returns 0, or -1 (nothing changed) when it cannot.
int ChangeFolder(const std::string& folder);
// For a change of the working folder made some other way: the next CurrentFolder reads it.
void ForgetCurrentFolder();

}  // namespace tavrin
