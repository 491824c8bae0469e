#include "platform/Status.h"

#include <cstring>

namespace tavrin {

Status Status::FromErrno(std::string what, std::string subject, int error) {
    Status status;
    if (error == 0) return status;
    status.what = std::move(what);
    status.subject = std::move(subject);
    status.error = error;
    status.reason = std::strerror(error);
    return status;
}

}  // namespace tavrin
