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
