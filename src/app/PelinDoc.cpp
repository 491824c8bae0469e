#include "app/PelinDoc.h"

namespace tavrin {

CPelinDoc::CPelinDoc() = default;

}  // namespace tavrin
