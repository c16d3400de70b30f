#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "tools/asm/CommandLine.h"

int main(int argc, char** argv) {
    int status = tarnwick::assembler::exitFailure;
    try {
        std::vector<std::string> arguments(argv + 1, argv + argc);
        status = tarnwick::assembler::runCommandLine(arguments, std::cout, std::cerr);
    } catch (const std::exception& error) {
        // Only running out of memory can get here.
        std::cerr << "tarnwick-asm: " << error.what() << "\n";
        return tarnwick::assembler::exitFailure;
    }
    // The last of standard output reaches its file only when it is closed.
    if (std::fclose(stdout) != 0 && status == tarnwick::assembler::exitSuccess) {
        std::cerr << "tarnwick-asm: cannot write to standard output: " << std::strerror(errno) << "\n";
        return tarnwick::assembler::exitFailure;
    }
    return status;
}
