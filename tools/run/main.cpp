#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "tools/run/CommandLine.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    try {
        const std::vector<std::string> arguments(argv + 1, argv + argc);
        return tarnwick::run::runCommandLine(arguments, std::cout, std::cerr);
    } catch (const std::exception& error) {
        // Only running out of memory can get here.
        std::cerr << "tarnwick-run: " << error.what() << "\n";
        return tarnwick::run::exitFailure;
    }
}
