#pragma once
#include <string>

namespace tavrin {

// What failed, on what, and why. Made where the system call fails and carried up unchanged to
// whoever tells the user; it becomes one of the controller's numeric codes only where a reply on
// the wire needs one. A default Status is success.
struct Status {
    // error when a host name could not be looked up (the resolver's text is the reason).
    static constexpr int kNameUnknown = -1;

    std::string what;     // the operation: "open", "write", "rename", "connect", ...
    std::string subject;  // the file, folder, device or address it was applied to
    int error = 0;        // errno, or kNameUnknown
    std::string reason;   // the system's text for error (strerror, the resolver's text)

    bool Ok() const { return error == 0 && reason.empty(); }

    // Success when error is 0; else a failure with strerror(error) as its reason.
    static Status FromErrno(std::string what, std::string subject, int error);
};

}  // namespace tavrin
