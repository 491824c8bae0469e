#pragma once

namespace tavrin {

// The console front end: screen rows on stdout, keys from stdin, message boxes on stderr.
int RunHeadless(int argc, char** argv);

}  // namespace tavrin
