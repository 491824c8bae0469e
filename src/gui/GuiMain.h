#pragma once

namespace tavrin {

// The Qt window front end.
int RunGui(int argc, char** argv);

}  // namespace tavrin
