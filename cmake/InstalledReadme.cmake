# The README for the installed documentation folder (share/doc/tavrin/), from the source tree's:
#   cmake -DINPUT=README.md -DOUTPUT=<file> -P InstalledReadme.cmake
# - the part between <!-- source-tree --> and <!-- /source-tree --> (building from the sources)
#   is dropped, and a <!-- installed ... --> comment is shown instead;
# - links into docs/ point at the installed copies: docs/NAME.md is NAME.md beside the README,
#   docs/screenshots/ is screenshots/, docs/guide/ is the built guide, guide/en/index.html.
file(READ ${INPUT} text)
string(REGEX REPLACE "<!-- source-tree -->.*<!-- /source-tree -->\n" "" text "${text}")
string(REGEX REPLACE "<!-- installed\n([^>]*)-->\n" "\\1" text "${text}")
string(REPLACE "docs/screenshots/" "screenshots/" text "${text}")
string(REPLACE "`docs/guide/`" "`guide/en/index.html` (Japanese: `guide/ja/index.html`)" text "${text}")
string(REGEX REPLACE "docs/([-a-z]+\\.md)" "\\1" text "${text}")
file(WRITE ${OUTPUT} "${text}")
