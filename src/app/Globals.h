#pragma once

namespace tavrin {

// Process-wide values; one instance each for the whole run.
inline int language = 1;          // 1 English, 0 Japanese
inline int keysEnabled = 1;       // typed characters are sent only while set; macros clear it
inline int firstIdlePending = 1;  // set until the first idle turn has run its one-time work

}  // namespace tavrin
