#pragma once

namespace tavrin {

// The language of every text the program shows: 1 English, 0 Japanese. Read from the settings
// at start and changed by the Language menu; the message table, the menus, the screen's own
// lines and the front ends follow it.
int CurrentLanguage();
void SetCurrentLanguage(int language);

}  // namespace tavrin
