#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "SimDisk.h"
#include "SimLine.h"
#include "SimOptions.h"
#include "SimTelnet.h"
#include "SimTransfer.h"

namespace tavrin::sim {

// The controller's command console for one session: it echoes what it receives, edits the
// line (BS, CAN), runs a command on CR (serial) or CR LF (TCP/IP), and ends every command with
// the prompt ">". On TCP/IP the telnet negotiation is kept out of the console and the
// terminal's type is recorded. The transfer words run the file transfer of CSimTransfer.
class CSimConsole {
public:
    static constexpr size_t kLineMax = 255;

    // Words of the transfer family, with the shortest abbreviation each accepts.
    enum TransferWord : int {
        kSave = 0,
        kVsave,
        kVsavepro,
        kVsavecal,
        kZbsave,
        kLoad,
        kVload,
        kVloadpro,
        kVloadcal,
        kZbload,
        kFdirectory,
        kFdelete,
        kFormat,
        kZsrvdl
    };
    // Code of the word (cut at its first '/'), or -1.
    static int LookupTransferWord(std::string_view word);

    CSimConsole(CSimLine& line, CSimDisk& disk, const SimOptions& options);

    // Runs the session until the link closes.
    void Run();

private:
    int NextByte(int timeoutMs);
    bool Login();
    void Banner();
    void HandleByte(int byte);
    void EraseLastCharacter();
    void Execute(const std::string& text, bool afterCan);
    std::string RunTransfer(int code, const std::vector<std::string>& tokens);
    std::string Directory() const;
    std::string TypeFile(const std::string& name) const;
    std::string Status() const;

    CSimLine& line;
    CSimDisk& disk;
    const SimOptions& options;
    CTelnetFilter telnet;
    CSimTransfer transfer;
    std::string typed;
    bool lastWasCr = false;
    bool lineAfterCan = false;
    std::string userName;
    std::string lastTransfer = "none";
};

}  // namespace tavrin::sim
