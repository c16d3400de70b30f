#pragma once

#include "app/Machine.h"
#include "gui/MainWindow.h"

namespace tarnwick {

// The program's machine and its window. The machine is built first and goes
// last, and whatever ends the program, the simulation thread and any load or
// save are stopped before any window goes: no cycle or memory step may paint
// a lamp that is being destroyed.
class FrontPanel {
public:
    FrontPanel() : window_(machine_) {}
    ~FrontPanel() {
        // A load or save still running ends first: its worker sets lamps, and
        // finishing a save may start the clock again, which is then stopped.
        machine_.stopTransfer();
        machine_.finishTransfer();
        machine_.stopSimulation();
    }
    FrontPanel(const FrontPanel&) = delete;
    FrontPanel& operator=(const FrontPanel&) = delete;

    Machine& machine() { return machine_; }
    MainWindow& window() { return window_; }

private:
    Machine machine_;
    MainWindow window_;
};

}  // namespace tarnwick
