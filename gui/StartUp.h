#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

class FrontPanel;

// What the command line asks of the front panel.
struct StartRequest {
    enum class Action { run, help, version, error };
    Action action = Action::run;
    std::optional<std::string> file;  // to load once the window is up
    std::string message;              // for error: what was wrong
};

// Reads the arguments after the program name: --help (-h), --version, at
// most one FILE, "--" before a FILE that starts with "-". Qt's own options
// (-platform NAME, -style NAME, ...) are left for QApplication.
StartRequest parseStartArguments(const std::vector<std::string>& arguments);

std::string usageText();
std::string versionText();

// Shows the window and, given a file, queues its load for the event loop:
// Power on, then the load, as "Load Memory File..." does with that file.
void startFrontPanel(FrontPanel& frontPanel, const std::optional<std::string>& file);

// The tarnwick program: answers --help and --version (and rejects a bad
// option with status 2) before any window system is touched, else runs
// the front panel.
int runFrontPanelProgram(int argc, char* argv[]);

}  // namespace tarnwick
