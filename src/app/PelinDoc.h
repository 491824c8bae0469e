#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/ConnectionEntry.h"
#include "app/ScreenRows.h"

namespace tavrin {

inline constexpr int kMaxRowsLimit = 200;
inline constexpr size_t kTcpChunkSize = 4096;

// The TCP/IP receive chunk: filled by the socket path, read by the receive interpreter and by
// the transfer protocol through the same position. One byte more than a chunk, so a NUL can
// follow a full chunk.
struct ReceiveChunk {
    std::array<uint8_t, kTcpChunkSize + 1> data{};
    int length = 0;
    int position = 0;
};

class CCommSocket;

// The document: the "Settings" values, the current connection and its state, the connection
// list, the terminal look and the screen model. Plain state; behaviour lives with the parts
// that own each field.
struct CPelinDoc {
    CPelinDoc();

    // Current connection.
    int isTcp = 0;
    std::string ipAddress = "127.0.0.1";  // at most 15 characters
    std::string telnetPort = "23";        // at most 7 characters
    std::string comPort = "COM1";         // at most 7 characters
    std::string baudRate = "9600";        // at most 7 characters
    std::string tcpName;
    uint8_t dataBits = 8;
    uint8_t stopBits = 0;
    uint8_t parity = 0;

    // "Settings" keys.
    int timeoutSec = 600;
    std::string loginPrompt = "login: ";  // at most 79 characters
    int isAutoLogin = 0;
    int isLinuxTelnet = 0;
    int isAutoConnect = 0;
    int isSerialReopen = 1;  // reopen an unplugged serial port when its device comes back
    // Serve transfers the controller starts without a save or load command from this side
    // (off: such requests are refused).
    int acceptControllerTransfers = 0;
    std::string folder;  // at most 259 characters

    std::vector<ConnectionEntry> connections;
    std::string startConnection;  // from "-C="
    // A connection of this run only (the demo controller's, "127.0.0.1:port:Demo"): while it is
    // the current connection its address and port are not written to the settings file, which
    // keeps the operator's own.
    std::string transientConnection;
    int toolbarVisible = 1;

    // Terminal look.
    int maxRows = 50;
    uint32_t bgColor = 0xFFFFFF;
    uint32_t textColor = 0;
    int charWidth = 8;
    int charHeight = 20;

    CCommSocket* socket = nullptr;  // the TCP/IP socket while one exists; owned by the link

    // Screen model: rows of exactly 80 bytes, filled with blanks, reached through Row().
    CScreenRows screenBuffer;
    CScreenRows historyBuffer;
    std::array<uint8_t, kColumns + 1> lineWorkArea{};
    int cursorColumn = 0;
    int cursorRow = 0;
    int visibleRows = 25;
    int horizontalOffset = 0;

    int promptSeen = 0;
    int connected = 0;
    int caretCreated = 0;

    // Transfer work value, reset to 0 before each ENQ hand-off.
    int transferWork = 0;

    ReceiveChunk tcpChunk;
};

}  // namespace tavrin
