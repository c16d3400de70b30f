// The front panel's entry point: read the command line, build the machine
// and its window, run the event loop.

#include "gui/StartUp.h"

int main(int argc, char* argv[]) { return tarnwick::runFrontPanelProgram(argc, argv); }
