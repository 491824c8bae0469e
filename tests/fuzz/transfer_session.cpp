// The transfer session as the receive pipeline drives it, fed arbitrary controller bytes in
// arbitrary chunks on either medium, with or without a transfer asked for. The first byte
// chooses: bit 0 TCP/IP, bit 1 a transfer asked for into the folder, bit 2 controller-started
// transfers allowed; the rest seeds the chunk sizes. Bytes the session does not want are
// scanned for ENQ as the interpreter would; when a chunk is used up the clock jumps to the next
// deadline. Whatever the controller sends, with nothing asked for and nothing allowed no file
// of the folder may change, and no byte of the folder's files may reach the controller.
#include <random>

#include "TransferHarness.h"

using namespace tavrin;
using namespace tavrin::fuzz;

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

size_t CountEntries(const std::string& folder) {
    size_t n = 0;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir))
            n += entry->d_name[0] != '.' || (entry->d_name[1] != 0 && entry->d_name[1] != '.');
        closedir(dir);
    }
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    ResetTransferFolder();
    const std::string& folder = TransferFolder();
    const std::string before = ReadAll(folder + "a.as");
    const size_t entriesBefore = CountEntries(folder);
    const bool tcp = data[0] & 1;
    const bool asked = data[0] & 2;
    const bool allowed = data[0] & 4;
    {
        TransferScene scene(tcp);
        CTransferSession& session = scene.protocol.session;
        scene.doc.acceptControllerTransfers = allowed ? 1 : 0;
        // The folder of the last command stays the transfer folder; the prompt after it ended
        // what it asked for unless the input says a transfer is asked for now.
        session.Ask(folder);
        if (!asked) session.ControllerPrompted();
        std::minstd_rand sizes(data[0] + 1);
        std::uniform_int_distribution<size_t> chunkSize(1, 300);
        GuardedFolder() = folder;
        size_t at = 1;
        while (at < size) {
            const size_t n = std::min(chunkSize(sizes), size - at);
            size_t pos = 0;
            while (pos < n) {
                if (session.WantsBytes()) {
                    const size_t used = session.Feed(data + at + pos, n - pos);
                    if (used == 0 || used > n - pos) abort();
                    pos += used;
                } else if (data[at + pos] == kEnqByte) {
                    pos += 1 + session.OnEnq(data + at + pos + 1, n - pos - 1);
                    if (pos > n) abort();
                } else {
                    ++pos;
                }
            }
            at += n;
            if (session.NextDeadline() != kNoDeadline) {
                scene.clock.now = std::max(scene.clock.now, session.NextDeadline());
                session.OnTimer();
            }
        }
        GuardedFolder().clear();
        if (!asked && !allowed) {
            if (ReadAll(folder + "a.as") != before || CountEntries(folder) != entriesBefore) abort();
            // The program's text never went out.
            const std::string sent(scene.link.sent.begin(), scene.link.sent.end());
            if (sent.find("HOME") != std::string::npos) abort();
        }
    }
    CheckSentinelEmpty();
    return 0;
}
