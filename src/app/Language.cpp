#include "app/Language.h"

namespace tavrin {

namespace {
int currentLanguage = 1;
}  // namespace

int CurrentLanguage() {
    return currentLanguage;
}

void SetCurrentLanguage(int language) {
    currentLanguage = language == 0 ? 0 : 1;
}

}  // namespace tavrin
