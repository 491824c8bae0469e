#pragma once
#include <string>

namespace tavrin::host {

// `tavrin-host edit N PROGRAM`: the program is saved from the controller of terminal N into a
// temporary folder, opened in $VISUAL or $EDITOR (waiting for it), and, only when the file was
// changed, loaded back and checked by saving it once more. Every step is printed; on any
// failure nothing is loaded and the reason is given. 0 on success (changed or not), 1 on failure.
int EditOnController(const std::string& hostSocket, int terminal, const std::string& program);

}  // namespace tavrin::host
