#include "session/PlatformEnvironment.h"

#include "platform/posix/PosixHostChannel.h"
#include "platform/posix/PosixStreamSocket.h"

namespace tavrin {

ViewEnvironment CPlatformEnvironment::Environment(Clock& clock) {
    return ViewEnvironment{
        serialDevice_,
        serialPorts_,
        &serialPorts_,
        [] { return std::make_unique<CPosixStreamSocket>(); },
        [] { return std::make_unique<CPosixHostChannel>(); },
        clock,
        &background_,
    };
}

}  // namespace tavrin
