#include "terminal/ReceivePoll.h"

#include <algorithm>

namespace tavrin {

size_t SerialPoll(CPelinDoc& doc, CReceiveInterpreter& interpreter, CWatchBuffer& watch,
                  const SerialRead& read) {
    if (!read) return 0;
    // One byte more than a chunk, so the chunk always ends in a NUL for the login check.
    std::array<uint8_t, kSerialChunkSize + 1> chunk{};
    size_t total = 0;
    // A transfer or a message box inside the interpreter may have closed the link: look again
    // before every read.
    while (doc.connected == 1) {
        chunk.fill(0);
        const size_t count = std::min(read(chunk.data(), kSerialChunkSize), kSerialChunkSize);
        if (count == 0) break;
        int position = 0;
        int length = static_cast<int>(count);
        interpreter.InterpretReceived(chunk.data(), position, length);
        watch.CollectReceivedText(chunk.data(), count);
        total += count;
    }
    return total;
}

int TcpReceive(CPelinDoc& doc, CReceiveInterpreter& interpreter, CWatchBuffer& watch,
               const SocketReceive& receive) {
    if (doc.connected == 0 || !receive) return 0;
    ReceiveChunk& chunk = doc.tcpChunk;
    chunk.data.fill(0);
    chunk.length = 0;
    const int count = receive(chunk.data.data(), kTcpChunkSize);
    if (count <= 0) return count;
    chunk.length = std::min(count, static_cast<int>(kTcpChunkSize));
    chunk.position = 0;
    chunk.data[chunk.length] = 0;
    interpreter.InterpretReceived(chunk.data.data(), chunk.position, chunk.length);
    // The length as the interpretation left it.
    const int length = std::clamp(chunk.length, 0, static_cast<int>(kTcpChunkSize));
    watch.CollectReceivedText(chunk.data.data(), static_cast<size_t>(length));
    return count;
}

}  // namespace tavrin
