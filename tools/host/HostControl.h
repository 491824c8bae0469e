#pragma once
#include <cstdint>
#include <string>

#include "platform/HostRecord.h"

namespace tavrin::host {

// Requests on the control socket: one record each, wParam = terminal number. The answer is one
// record: message kReplyOk, kReplyError or kReplyRefused, data = what happened / why not.
inline constexpr uint32_t kCtlType = 1;         // data: text typed into the terminal
inline constexpr uint32_t kCtlMove = 2;         // data: four int32 left, top, right, bottom
inline constexpr uint32_t kCtlClose = 3;        // the close request
inline constexpr uint32_t kCtlUnlink = 4;       // number 0: the terminal unlinks
inline constexpr uint32_t kCtlProgram = 5;      // data: program name (copy-data kind 1)
inline constexpr uint32_t kCtlDeleteAfter = 6;  // data: file deleted after the typed transfer (kind 3)
inline constexpr uint32_t kCtlRun = 7;          // data: text typed; answered once the controller is back at
                                                // its prompt (lParam: limit in ms)
inline constexpr uint32_t kCtlState = 8;        // answered "idle", "busy" or "unknown"
inline constexpr uint32_t kReplyOk = 0;
inline constexpr uint32_t kReplyError = 1;
inline constexpr uint32_t kReplyRefused = 2;  // the asking user may not use this serve

// One request to the serve listening beside hostSocket; reply gets the answer's text. 0 when
// the request was carried out, 1 when serve could not carry it out, 2 when no serve could be
// reached or it refused this user.
int Request(const std::string& hostSocket, uint32_t request, int terminal, const std::string& data,
            std::string& reply, int64_t lParam = 0);

// "\r", "\n", "\t", "\\" and "\xHH" in a command-line text become the bytes they stand for.
std::string Unescape(const std::string& text);

}  // namespace tavrin::host
