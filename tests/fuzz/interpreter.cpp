// The receive interpreter fed arbitrary bytes in arbitrary chunks, on the serial line and on
// TCP/IP, with the plain or the extended telnet filter, any screen geometry, automatic login and
// a transfer hand-off that consumes some bytes of the shared chunk. After every chunk the
// cursor and the interpreter's collections must be inside their limits.
#include <cstring>
#include <random>
#include <vector>

#include "RecordingShell.h"
#include "ScriptedLink.h"
#include "terminal/ReceiveInterpreter.h"

using namespace tavrin;

namespace {

[[noreturn]] void Broken(const char* what) {
    fprintf(stderr, "interpreter state out of bounds: %s\n", what);
    abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    // Four bytes of set-up: medium and filters, geometry, chunking, transfer behaviour.
    const uint8_t mode = data[0];
    CPelinDoc doc;
    ViewState view;
    tavrin::testing::ScriptedLink link;
    tavrin::testing::RecordingShell shell;
    doc.isTcp = mode & 1;
    doc.isLinuxTelnet = (mode >> 1) & 1;
    doc.isAutoLogin = (mode >> 2) & 1;
    doc.maxRows = data[1] % (kMaxRowsLimit + 20);
    doc.visibleRows = (data[1] * 7 + data[2]) % (kMaxRowsLimit + 20);
    const int transferConsumes = (mode >> 3) & 15;
    const bool logOpen = (mode >> 7) & 1;
    std::minstd_rand rng(data[2] << 8 | data[3]);
    std::uniform_int_distribution<int> chunkSize(1, data[3] < 128 ? 16 : 600);

    InterpreterHooks hooks;
    // At ENQ the transfer takes a few bytes of a TCP/IP chunk, or the rest of a serial one.
    hooks.transferStarted = [&](const uint8_t*, size_t count) {
        return doc.isTcp ? std::min(static_cast<size_t>(transferConsumes), count) : count;
    };
    hooks.writeLogRow = [](const uint8_t*) { return true; };
    hooks.logOpen = [&] { return logOpen; };
    CReceiveInterpreter interpreter(doc, view, link, shell, hooks);

    size_t at = 4;
    std::vector<uint8_t> buffer;
    while (at < size) {
        const size_t n = std::min<size_t>(std::min<size_t>(chunkSize(rng), kTcpChunkSize), size - at);
        if (doc.isTcp) {
            ReceiveChunk& chunk = doc.tcpChunk;
            chunk.data.fill(0);
            std::memcpy(chunk.data.data(), data + at, n);
            chunk.length = static_cast<int>(n);
            chunk.position = 0;
            interpreter.InterpretReceived(chunk.data.data(), chunk.position, chunk.length);
            if (chunk.position < 0 || chunk.position > chunk.length) Broken("chunk position");
        } else {
            buffer.assign(data + at, data + at + n);
            buffer.push_back(0);
            int position = 0;
            int length = static_cast<int>(n);
            interpreter.InterpretReceived(buffer.data(), position, length);
        }
        // The terminal's own texts go through the same screen logic.
        if ((rng() % 4) == 0) {
            std::string text(reinterpret_cast<const char*>(data + at), n / 2);
            interpreter.PrintLocalText(text.c_str());
        }
        at += n;
        if (doc.cursorRow < 0 || doc.cursorRow >= kMaxRowsLimit) Broken("cursor row");
        if (doc.cursorColumn < 0 || doc.cursorColumn >= kColumns) Broken("cursor column");
        if (view.historyCount < 0 || view.historyCount >= kMaxRowsLimit) Broken("history count");
        if (interpreter.ControlSequenceCount() < 0 ||
            interpreter.ControlSequenceCount() > kControlSequenceLimit)
            Broken("control sequence");
        if (interpreter.TelnetCollectLength() >= static_cast<int>(kTelnetCollectSize))
            Broken("telnet collection");
        // Other parts change the geometry between chunks (paint, terminal settings).
        if ((rng() % 16) == 0) doc.visibleRows = static_cast<int>(rng() % (kMaxRowsLimit + 1));
        if ((rng() % 16) == 0) doc.maxRows = static_cast<int>(rng() % (kMaxRowsLimit + 1));
    }
    return 0;
}
