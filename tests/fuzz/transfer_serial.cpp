// The serial transfer protocol fed arbitrary controller bytes: the input is everything the
// controller sends, its answers to the terminal's ENQ and records included. As the receive
// interpreter does, bytes up to an ENQ are passed over and each ENQ starts one request.
#include "TransferHarness.h"

using namespace tavrin;
using namespace tavrin::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ResetTransferFolder();
    {
        TransferScene scene(false);
        scene.link.input.assign(data, data + size);
        for (int request = 0; request < 64; ++request) {
            while (!scene.link.input.empty() && scene.link.input.front() != kEnqByte)
                scene.link.input.pop_front();
            if (scene.link.input.empty()) break;
            scene.link.input.pop_front();
            scene.Handle();
        }
    }
    CheckSentinelEmpty();
    return 0;
}
