#include <cstdlib>

// Points fontconfig at the test fonts before anything asks it for a font (it reads the variable
// on first use).
namespace {

const bool testFontsSelected = [] { return setenv("FONTCONFIG_FILE", QUILTDECK_TEST_FONTCONFIG_FILE, 1) == 0; }();

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// fontconfig loses track of parts of the font files it reads into a running configuration (the
// application's own fonts among them) and frees them with nothing short of FcFini: the leak
// checker is told to pass over its allocations.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif
