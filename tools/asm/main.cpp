#include <iostream>
#include <string>
#include <vector>

#include "tools/asm/CommandLine.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    return tarnwick::assembler::runCommandLine(arguments, std::cout, std::cerr);
}
