#pragma once
#include <cstddef>
#include <string>

#include "SimExchange.h"
#include "SimLine.h"
#include "SimOptions.h"
#include "transfer/Lzss.h"

namespace tavrin::sim {

// The controller's side of the file transfers: it drives the protocol, the terminal answers.
// A save sends a program to the PC (create, write blocks, close); a load reads a file from the
// PC (open, read blocks, close). Serial links use the acknowledged record form, with LZSS
// blocks when compression is asked for; TCP/IP links the plain record form.
class CSimTransfer {
public:
    // Bytes of plain text given to the coder per compressed write block; what one block
    // decodes to stays well inside the terminal's 2048-byte text area.
    static constexpr size_t kCompressPiece = 1024;
    static constexpr size_t kLoadMax = 16 * 1024 * 1024;
    // Injected faults hit this exchange of a transfer (1 = the open, 2 = the first block).
    static constexpr int kFaultExchange = 2;

    CSimTransfer(CSimLine& line, const SimOptions& options);

    // Each returns 0 or a SimResult; PcStatus() then holds the terminal's status.
    int Save(const std::string& pcName, const std::string& data, bool compress);
    int Load(const std::string& pcName, bool compress, std::string& data);
    int Delete(const std::string& pcName);

    int PcStatus() const { return pcStatus; }
    // Whether the last transfer really used compressed blocks.
    bool Compressed() const { return compressed; }

    // The console's text for a result, without line end.
    static std::string ResultText(int result, int pcStatus);

private:
    ExchangeFaults FaultsForNext();
    int SerialExchange(uint8_t letter, const Bytes& request, Bytes& reply);
    int SerialOpen(uint8_t letter, const std::string& name, uint32_t* size);
    int SerialBlockStatus(const Bytes& request, const Bytes& reply, size_t minLength);
    int SerialSave(const std::string& name, const std::string& data, bool compress);
    int SerialLoad(const std::string& name, bool compress, std::string& data);
    int SerialClose(int result);
    int TcpSave(const std::string& name, const std::string& data);
    int TcpLoad(const std::string& name, std::string& data);
    int TcpExchange(uint8_t letter, const Bytes& request, Bytes* data);
    void CloseAfterFailure(int result);
    Bytes BlockHeader(bool compress);

    CSimLine& line;
    const SimOptions& options;
    CSerialExchange serial;
    CTcpExchange tcp;
    CLzssCoder coder;
    int exchangeIndex = 0;
    uint32_t sequence = 0;
    int pcStatus = 0;
    bool compressed = false;
    bool silenced = false;
};

}  // namespace tavrin::sim
