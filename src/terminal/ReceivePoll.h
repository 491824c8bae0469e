#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "app/PelinDoc.h"
#include "terminal/ReceiveInterpreter.h"
#include "terminal/WatchBuffer.h"

namespace tavrin {

inline constexpr size_t kSerialChunkSize = 8193;

// Reads at most `capacity` bytes into `buffer` without waiting; returns how many it copied, 0
// when nothing is waiting (or no port is open).
using SerialRead = std::function<size_t(uint8_t* buffer, size_t capacity)>;
// Receives at most `capacity` bytes from the socket: the count, 0 when the peer closed, -1 on
// an error.
using SocketReceive = std::function<int(uint8_t* buffer, size_t capacity)>;

// The serial poll of every 20 ms tick: while the link is connected, drains the port in chunks
// of at most 8193 bytes into the interpreter and then into the watch buffer, until a read
// returns 0. Returns the number of bytes taken.
size_t SerialPoll(CPelinDoc& doc, CReceiveInterpreter& interpreter, CWatchBuffer& watch,
                  const SerialRead& read);

// The socket's receive notification: one receive of at most 4096 bytes into the document's
// shared chunk, interpreted there (the transfer protocol reads the same chunk) and collected for
// the macros. Returns the count received; the caller restarts the silence timer when it is
// above 0. Nothing happens while the link is not connected.
int TcpReceive(CPelinDoc& doc, CReceiveInterpreter& interpreter, CWatchBuffer& watch,
               const SocketReceive& receive);

}  // namespace tavrin
