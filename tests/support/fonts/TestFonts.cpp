#include <cstdlib>

// Points fontconfig at the test fonts before anything asks it for a font (it reads the variable
// on first use).
namespace {

const bool testFontsSelected = [] { return setenv("FONTCONFIG_FILE", QUILTDECK_TEST_FONTCONFIG_FILE, 1) == 0; }();

}  // namespace
