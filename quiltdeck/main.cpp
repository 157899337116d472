#include <iostream>
#include <string>
#include <vector>

#include "quiltdeck/shell/ToolModes.h"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (const auto code = quiltdeck::runToolMode(arguments, std::cerr)) return *code;
    std::cerr << "quiltdeck: the window is not built yet\n";
    return 1;
}

#if defined(__SANITIZE_ADDRESS__)
// fontconfig loses track of parts of the font files it reads into a running configuration (the
// application's own fonts among them) and frees them with nothing short of FcFini: the leak
// checker is told to pass over its allocations.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif
