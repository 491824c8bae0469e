#include "app/PelinDoc.h"

namespace tavrin {

CPelinDoc::CPelinDoc() {
    screenBuffer.fill(' ');
    historyBuffer.fill(' ');
}

}  // namespace tavrin
