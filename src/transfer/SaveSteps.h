#pragma once
#include <string>

namespace tavrin {

// The file-system steps of a controller save that replaces a file whole. The new program is
// written to a hidden temporary file beside its name, locked (flock) for as long as it is in
// use; at the end the earlier file is kept as the backup and the temporary file renamed over the
// name. The name holds the earlier or the new program, whole, at every instant, even when the
// program is killed between two steps.
//
// Temporary files are "." + name + ".tavrin-" + six letters or digits. One that no live process
// holds locked was left by a save that was killed; the next save into that folder removes it.

// The mkstemp pattern of a save's temporary file for `name` in `folder` (which ends in '/' or is
// empty for the working folder).
std::string SaveTemporaryPattern(const std::string& folder, const std::string& name);

// True for a name of the pattern above (a bare file name, without folder).
bool IsSaveTemporaryName(const std::string& entryName);

// Removes the temporary files of the pattern in `folder` that belong to this user and that no
// process holds locked. Returns how many were removed.
int RemoveStaleTemporaries(const std::string& folder);

// Makes `backup` a second name of the file `path`, replacing what `backup` held, without a moment
// in which `path` is missing: a link under a fresh hidden name (a locked copy where the file
// system has no hard links, or refuses one to a file of another user), renamed over `backup`.
// 0, or the errno of the step that failed (nothing is left behind then; `backup` is untouched).
// A symbolic link at `backup` is replaced, never written through.
int KeepAsBackup(const std::string& path, const std::string& backup);

// Flushes the folder that holds `path` (its new names). 0 or errno; file systems that cannot
// flush a folder (EINVAL) count as done.
int SyncFolderOf(const std::string& path);

// For tests: called with the name of each step of a save as it is about to be taken ("write",
// "fsync", "link", "backup", "rename", "sync-folder", "close"), so that a test can end the
// process there. Empty in the program.
using SaveStepHook = void (*)(const char* step);
void SetSaveStepHook(SaveStepHook hook);
void SaveStep(const char* step);

}  // namespace tavrin
