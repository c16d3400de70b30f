#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "tools/asm/CommandLine.h"

int main(int argc, char** argv) {
    try {
        std::vector<std::string> arguments(argv + 1, argv + argc);
        return tarnwick::assembler::runCommandLine(arguments, std::cout, std::cerr);
    } catch (const std::exception& error) {
        // Only running out of memory can get here.
        std::cerr << "tarnwick-asm: " << error.what() << "\n";
        return tarnwick::assembler::exitFailure;
    }
}
