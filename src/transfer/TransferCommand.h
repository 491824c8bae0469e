#pragma once
#include <array>
#include <string>

#include "app/PelinDoc.h"
#include "link/LinkOps.h"

namespace tavrin {

// One controller disk command that the terminal carries out as a file transfer.
struct TransferWord {
    int code;
    const char* word;
    int shortest;  // shortest accepted abbreviation
};

inline constexpr size_t kTransferWords = 14;
inline constexpr int kRefusedTransferCommand = -110;  // fdirectory, fdelete, format
inline constexpr size_t kTransferLineLimit = 78;      // characters of a line examined
inline constexpr int kEchoWaitMs = 2000;
inline constexpr int kNothingAwaited = -1;
inline constexpr size_t kTransferFolderMax = 255;  // characters of the transfer folder

// The table in lookup order, followed by its end row whose code is -1.
const std::array<TransferWord, kTransferWords + 1>& GetTransferWords();

// The code of a command word, or -1. The word is cut at its first '/' (switches follow); it
// matches a row when it is a case-insensitive prefix of the row's word at least the row's
// shortest abbreviation long; the first matching row wins.
int LookupTransferWord(const std::string& word);

// Recognises and rewrites the controller's save and load commands. The controller must see only
// a bare file name; the folder part of the file argument stays on this side as the transfer
// folder. Paths use '/': a token that begins with '/' is a controller switch unless it holds a
// further '/', which makes it an absolute file argument.
class CTransferCommand {
public:
    CTransferCommand(CPelinDoc& doc, LinkOps& link) : doc_(doc), link_(link) {}

    // line: the echoed command line (CP932). 0: recognised and sent, folder holds the transfer
    // folder ("" = the working folder, else ending in '/'); -1: not a transfer command, nothing
    // sent, folder untouched; -110: fdirectory, fdelete or format, refused (a line end was sent).
    // fromMacro: the line comes from a macro and already ends in CR. awaited: the byte whose
    // arrival ends what the controller answers to this line (its echo up to LF, or its prompt
    // after a refused word), to be read and dropped for at most 2 s; kNothingAwaited when
    // nothing is to be dropped.
    int SendTransferCommand(const std::string& line, std::string& folder, bool fromMacro, int& awaited);

    // Whether the line's first word is one of the save and load words, whatever its arguments:
    // a bare SAVE typed by the operator asks for a transfer as much as a rewritten one.
    static bool StartsWithTransferWord(const std::string& line);

private:
    void SendText(const std::string& text);
    void SendLineEnd();

    CPelinDoc& doc_;
    LinkOps& link_;
};

}  // namespace tavrin
