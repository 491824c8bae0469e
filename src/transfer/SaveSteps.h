#pragma once
#include <string>

#include "platform/Status.h"

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
// Success, or the step that failed with its file (nothing is left behind then; `backup` is
// untouched; a hidden name that could not be removed afterwards is a failure too, naming it).
// A symbolic link at `backup` is replaced, never written through.
Status KeepAsBackup(const std::string& path, const std::string& backup);

// The last steps of a save, in this order: the data to disk; the earlier file at savePath kept
// as backupPath (when one is given and savePath is a regular file); the temporary file renamed
// over savePath; the folder flushed; the file closed. It only makes system calls on what it
// holds, so it may run on a thread of its own while the event loop goes on.
struct SaveCommit {
    int fd = -1;
    std::string tempPath;
    std::string savePath;
    std::string backupPath;  // empty: no backup
    // The outcome: the step that failed (None: saved) and why. After Fsync, Backup or Rename the
    // temporary file is still there and fd still open: the save is to be discarded. After
    // Durability the file has its name but may not survive a power cut; fd is closed.
    enum class Step { None, Fsync, Backup, Rename, Durability };
    Step failed = Step::None;
    Status status;
};
void CommitSaveFile(SaveCommit& commit);

// Flushes the folder that holds `path` (its new names). File systems that cannot flush a folder
// (EINVAL) count as done.
Status SyncFolderOf(const std::string& path);

// The system calls whose result decides whether a save is saved. Each returns 0 or the errno of
// the failure; a test may make any of them fail instead (SetSaveFaultHook).
int SaveCreate(std::string& pattern);  // mkostemp: the descriptor, or -1 with errno set
int SaveFsync(int fd);
int SaveFdatasync(int fd);
int SaveRename(const std::string& from, const std::string& to);
int SaveUnlink(const std::string& path);
int SaveClose(int fd);

// For tests: asked before each call above with its name ("create", "fsync", "fdatasync",
// "rename", "unlink", "close"); a nonzero answer is that call's errno and the call is not made
// (a close still releases the descriptor). Empty in the program.
using SaveFaultHook = int (*)(const char* call);
void SetSaveFaultHook(SaveFaultHook hook);

// For tests: called with the name of each step of a save as it is about to be taken ("write",
// "fsync", "link", "backup", "rename", "sync-folder", "close"), so that a test can end the
// process there. Empty in the program.
using SaveStepHook = void (*)(const char* step);
void SetSaveStepHook(SaveStepHook hook);
void SaveStep(const char* step);

}  // namespace tavrin
