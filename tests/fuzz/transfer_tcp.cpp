// The TCP/IP transfer protocol fed arbitrary controller bytes in arbitrary chunks. The first
// byte seeds the chunk sizes (1 ... 4096); the chunks are walked as the receive interpreter
// walks the shared receive chunk: an ENQ, or a record waiting for its rest, hands the chunk to
// the protocol at the current position.
#include <random>

#include "TransferHarness.h"

using namespace tavrin;
using namespace tavrin::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    ResetTransferFolder();
    {
        TransferScene scene(true);
        std::minstd_rand sizes(data[0] + 1);
        const int largest = data[0] < 128 ? 64 : static_cast<int>(kTcpChunkSize);
        std::uniform_int_distribution<int> chunkSize(1, largest);
        ReceiveChunk& chunk = scene.doc.tcpChunk;
        size_t at = 1;
        int requests = 0;
        while (at < size && requests < 4096) {
            const size_t n = std::min<size_t>(chunkSize(sizes), size - at);
            chunk.data.fill(0);
            std::copy(data + at, data + at + n, chunk.data.begin());
            chunk.length = static_cast<int>(n);
            chunk.position = 0;
            at += n;
            while (chunk.position < chunk.length) {
                if (scene.protocol.ResumePending() || chunk.data[chunk.position] == kEnqByte) {
                    const int before = chunk.position;
                    scene.Handle();
                    ++requests;
                    if (chunk.position < before || chunk.position > chunk.length) abort();
                    if (chunk.position == before) ++chunk.position;
                } else {
                    ++chunk.position;
                }
            }
        }
    }
    CheckSentinelEmpty();
    return 0;
}
