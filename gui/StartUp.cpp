#include "gui/StartUp.h"

#include <QApplication>
#include <QTimer>
#include <array>
#include <csignal>
#include <iostream>
#include <string_view>

#include "TarnwickVersion.h"
#include "gui/FrontPanel.h"
#include "gui/PanelLook.h"

namespace tarnwick {

namespace {

// QApplication's options: those that take a value, then the plain ones.
constexpr std::array<std::string_view, 13> qtOptionsWithValue = {
    "-platform", "-platformpluginpath", "-platformtheme",   "-plugin",       "-style",       "-stylesheet",
    "-display",  "-geometry",           "-qwindowgeometry", "-qwindowtitle", "-qwindowicon", "-session",
    "-name"};
constexpr std::array<std::string_view, 5> qtFlags = {"-reverse", "-nograb", "-dograb", "-sync",
                                                     "-widgetcount"};

bool isOneOf(std::string_view option, auto const& list) {
    for (std::string_view known : list)
        if (option == known) return true;
    return false;
}

StartRequest failure(std::string message) {
    return StartRequest{StartRequest::Action::error, std::nullopt, std::move(message)};
}

}  // namespace

StartRequest parseStartArguments(const std::vector<std::string>& arguments) {
    StartRequest request;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool isOption = !optionsEnded && argument.size() > 1 && argument[0] == '-';
        if (!isOption) {
            if (request.file) return failure("more than one file given: '" + argument + "'");
            request.file = argument;
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--help" || argument == "-h") {
            request.action = StartRequest::Action::help;
        } else if (argument == "--version") {
            if (request.action != StartRequest::Action::help) request.action = StartRequest::Action::version;
        } else {
            const std::string_view name = std::string_view(argument).substr(0, argument.find('='));
            if (isOneOf(name, qtFlags)) continue;
            if (!isOneOf(name, qtOptionsWithValue)) return failure("unknown option '" + argument + "'");
            if (name.size() == argument.size() && ++i == arguments.size())
                return failure("option '" + argument + "' needs a value");
        }
    }
    return request;
}

std::string usageText() {
    return "Usage: tarnwick [OPTION] [FILE]\n"
           "Runs the front panel of the Tarnwick relay computer simulator.\n"
           "\n"
           "With FILE, turns Power on and loads FILE into memory, as File > Load\n"
           "Memory File... does: a memory file (.RAM), or an assembler source\n"
           "(.asm), which is assembled in memory first.\n"
           "\n"
           "  -h, --help     show this help and exit\n"
           "      --version  show the version and exit\n"
           "\n"
           "Qt's own options (-platform NAME, -style NAME, ...) are passed to Qt.\n";
}

std::string versionText() { return std::string("tarnwick ") + version + "\n"; }

void startFrontPanel(FrontPanel& frontPanel, const std::optional<std::string>& file) {
    MainWindow& window = frontPanel.window();
    window.show();
    if (file) QTimer::singleShot(0, &window, [&window, path = *file] { window.openFile(path); });
}

int runFrontPanelProgram(int argc, char* argv[]) {
    std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const StartRequest request = parseStartArguments(arguments);
    switch (request.action) {
        case StartRequest::Action::help:
            std::cout << usageText() << std::flush;
            return 0;
        case StartRequest::Action::version:
            std::cout << versionText() << std::flush;
            return 0;
        case StartRequest::Action::error:
            std::cerr << "tarnwick: " << request.message << "\nTry 'tarnwick --help'.\n";
            return 2;
        case StartRequest::Action::run:
            break;
    }

    // A save to a pipe whose reader has gone fails with a message, rather
    // than ending the panel and the machine with it.
    std::signal(SIGPIPE, SIG_IGN);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnwick"));
    QApplication::setDesktopFileName(QStringLiteral("tarnwick"));
    QApplication::setWindowIcon(programIcon());

    FrontPanel frontPanel;
    startFrontPanel(frontPanel, request.file);
    return QApplication::exec();
}

}  // namespace tarnwick
