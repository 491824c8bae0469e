#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "SimDisk.h"

namespace tavrin::sim {

namespace {

// The samples avoid the byte '>' on purpose: the terminal takes it for the console's prompt.
std::string WithCrLf(const char* text) {
    std::string out;
    for (const char* p = text; *p; ++p) {
        if (*p == '\n') out += '\r';
        out += *p;
    }
    return out;
}

const char kPick[] =
    "; pick.as -- take one part from the feeder\n"
    "program pick\n"
    "  tool gripper\n"
    "  speed 60\n"
    "  move above_feeder\n"
    "  speed 20\n"
    "  line feeder\n"
    "  grip close\n"
    "  wait 0.25\n"
    "  if not sensor(3) then\n"
    "    alarm 101 \"no part in gripper\"\n"
    "  end if\n"
    "  speed 60\n"
    "  line above_feeder\n"
    "end program\n";

// The comment in the second line is Japanese in CP932 ("oku", to put down).
const char kPlace[] =
    "; place.as -- put the part down on the conveyor\n"
    "; \x92\x75\x82\xad\n"
    "program place\n"
    "  speed 60\n"
    "  move above_conveyor\n"
    "  speed 15\n"
    "  line conveyor\n"
    "  grip open\n"
    "  wait 0.20\n"
    "  speed 60\n"
    "  line above_conveyor\n"
    "  signal 12 on\n"
    "end program\n";

// A pallet of 6 layers of 8 x 6 places: one taught point per place, then the loop. Well over
// 10 KB, so that a transfer needs several disk chunks on the terminal's side.
std::string PalletProgram() {
    std::string text =
        "; pallet.as -- stack parts on a pallet of 6 layers of 8 x 6 places\n"
        "program pallet\n"
        "  int layer, row, column\n";
    char line[160];
    for (int layer = 1; layer <= 6; ++layer) {
        for (int row = 1; row <= 6; ++row) {
            for (int column = 1; column <= 8; ++column) {
                std::snprintf(line, sizeof line,
                              "  point p%d_%d_%d = %8.3f, %8.3f, %7.3f, 0.000, 180.000, %6.3f\n", layer, row,
                              column, 400.0 + 62.5 * column, -180.0 + 60.0 * row, 35.0 + 40.0 * layer,
                              (row + column) % 2 ? 0.0 : 90.0);
                text += line;
            }
        }
    }
    text +=
        "  for layer = 1 to 6\n"
        "    for row = 1 to 6\n"
        "      for column = 1 to 8\n"
        "        call pick\n"
        "        move shift(p[layer, row, column], 0, 0, 80)\n"
        "        line p[layer, row, column]\n"
        "        call place_here\n"
        "      next column\n"
        "    next row\n"
        "  next layer\n"
        "end program\n";
    return WithCrLf(text.c_str());
}

}  // namespace

std::vector<std::pair<std::string, std::string>> SampleProgramFiles() {
    return {{"pick.as", WithCrLf(kPick)}, {"place.as", WithCrLf(kPlace)}, {"pallet.as", PalletProgram()}};
}

}  // namespace tavrin::sim
