// The command line, the connection texts and the connection list store. The input is cut at
// its first NUL: before it, the arguments of a command line, one a line; after it, a connection text and then
// a settings file with a connection list. A connection text that a page model builds must read back to the
// same text.
#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "FuzzFolder.h"
#include "app/CommandLine.h"
#include "app/PelinDoc.h"
#include "link/ConnectionControl.h"
#include "link/ConnectionListStore.h"
#include "link/ConnectionPages.h"

using namespace tavrin;

namespace {

[[noreturn]] void Broken(const std::string& what) {
    fprintf(stderr, "connection texts: %s\n", what.c_str());
    abort();
}

const std::string& IniPath() {
    static const std::string path = [] {
        const std::string made = tavrin::fuzz::MakeFuzzFolder("cmdline");
        return made + "/tavrin.ini";
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t cut = input.find('\0');
    const std::string line = input.substr(0, cut);
    const std::string rest = cut == std::string::npos ? std::string() : input.substr(cut + 1);
    const size_t cut2 = rest.find('\0');
    const std::string text = rest.substr(0, cut2);
    const std::string file = cut2 == std::string::npos ? std::string() : rest.substr(cut2 + 1);

    std::vector<std::string> arguments;
    for (size_t from = 0; from <= line.size();) {
        const size_t end = std::min(line.find('\n', from), line.size());
        arguments.push_back(line.substr(from, end - from));
        from = end + 1;
    }
    const CommandLineOptions options = ParseCommandLine(arguments);
    // A command line read without error names every value it was given.
    if (options.error.empty() && options.panelFile.empty()) Broken("empty panel file accepted");
    CPelinDoc doc;
    if (!options.connection.empty()) ApplyConnectionText(doc, options.connection);
    ApplyConnectionText(doc, text);
    SplitFields(text, ":");
    ParseDottedAddress(text);
    ComPortNumber(text);

    CComPageModel com(8);
    com.LoadText(text);
    const std::string built = com.BuildText();
    if (!built.empty()) {
        CComPageModel again(8);
        again.LoadText(built);
        if (again.BuildText() != built) Broken("serial text does not read back: " + built);
    }
    CTcpPageModel tcp;
    tcp.LoadText(text);
    std::string tcpText;
    if (tcp.BuildText(&tcpText) == PageMessage::None) {
        CTcpPageModel again;
        again.LoadText(tcpText);
        std::string second;
        again.BuildText(&second);
        if (second != tcpText) Broken("TCP/IP text does not read back: " + tcpText);
    }

    std::ofstream(IniPath(), std::ios::binary | std::ios::trunc) << file;
    LoadConnectionList(doc, IniPath());
    for (const ConnectionEntry& entry : doc.connections) {
        ApplyConnectionText(doc, entry.Item);
        MarkItemUsed(doc.connections, entry.Item);
        break;
    }
    ConnectionMenuText(doc.connections, 32796);
    for (int command = 32800; command <= 32804; ++command) ConnectionMenuText(doc.connections, command);
    return 0;
}
