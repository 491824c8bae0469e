#pragma once
#include <cstring>
#include <string>
#include <vector>

#include "RecordingShell.h"
#include "ScriptedLink.h"
#include "terminal/ReceiveInterpreter.h"

namespace tavrin::testing {

// A document, a view, a recording link and shell, and an interpreter whose hooks record what
// they were asked. Chunks are fed as the serial poll feeds them (a buffer with room for a NUL)
// or, with FeedShared, through the document's TCP/IP receive chunk.
struct InterpreterRig {
    CPelinDoc doc;
    ViewState view;
    ScriptedLink link;
    RecordingShell shell;

    std::vector<std::string> logRows;
    bool logIsOpen = false;
    bool logWriteFails = false;
    std::string posted;
    std::vector<std::string> handOffs;  // the bytes after each ENQ handed to the transfer
    int transferConsumes = 0;           // TCP/IP: bytes after the ENQ the transfer takes
    int hostReports = 0;
    int lastHostBusy = -1;
    int macroTransferClears = 0;
    int caretMoves = 0;
    int caretMovesAtTransfer = -1;
    std::string events;  // the hooks in the order they were called: r busy report, L log row

    CReceiveInterpreter interpreter{doc, view, link, shell, Hooks()};

    InterpreterHooks Hooks() {
        InterpreterHooks h;
        h.transferStarted = [this](const uint8_t* rest, size_t count) {
            handOffs.emplace_back(reinterpret_cast<const char*>(rest), count);
            caretMovesAtTransfer = caretMoves;
            // The serial exchange discards what followed its ENQ; TCP/IP takes its record.
            return doc.isTcp ? std::min(static_cast<size_t>(transferConsumes), count) : count;
        };
        h.writeLogRow = [this](const uint8_t* row) {
            logRows.emplace_back(reinterpret_cast<const char*>(row), kColumns);
            events += 'L';
            return !logWriteFails;
        };
        h.logOpen = [this] { return logIsOpen; };
        h.reportHostBusy = [this](int busy) {
            ++hostReports;
            events += busy ? 'r' : 'R';
            lastHostBusy = busy;
        };
        h.clearMacroTransferFlag = [this] { ++macroTransferClears; };
        h.postChars = [this](const std::string& chars) { posted += chars; };
        h.caretMoved = [this] { ++caretMoves; };
        return h;
    }

    void Feed(const std::string& chunk) {
        std::vector<uint8_t> buffer(chunk.begin(), chunk.end());
        buffer.push_back(0);
        int position = 0;
        int length = static_cast<int>(chunk.size());
        interpreter.InterpretReceived(buffer.data(), position, length);
    }
    void Feed(const std::vector<std::string>& chunks) {
        for (const std::string& chunk : chunks) Feed(chunk);
    }
    void FeedShared(const std::string& chunk) {
        ReceiveChunk& c = doc.tcpChunk;
        c.data.fill(0);
        std::memcpy(c.data.data(), chunk.data(), std::min(chunk.size(), kTcpChunkSize));
        c.length = static_cast<int>(std::min(chunk.size(), kTcpChunkSize));
        c.position = 0;
        interpreter.InterpretReceived(c.data.data(), c.position, c.length);
    }

    static std::string Trimmed(const uint8_t* row) {
        std::string text(reinterpret_cast<const char*>(row), kColumns);
        const size_t last = text.find_last_not_of(' ');
        return last == std::string::npos ? std::string() : text.substr(0, last + 1);
    }
    std::string Row(int row) const { return Trimmed(doc.screenBuffer.Row(row)); }
    std::string History(int line) const { return Trimmed(doc.historyBuffer.Row(line)); }
    std::string SocketBytes() const { return std::string(link.socketSent.begin(), link.socketSent.end()); }
};

}  // namespace tavrin::testing
