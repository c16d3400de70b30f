#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "asm/ProgramText.h"
#include "gui/CommandTarget.h"
#include "memory/MemoryFile.h"

class QAction;
class QMenu;
class QSlider;
class QTimer;

namespace tarnwick {

class Machine;
class ControlPanelWindow;
class SignalsWindow;
class IndicatorLampWidget;
class MemoryWindow;
class ProgramWindow;
class RelaysWindow;
class ToggleSwitchWidget;

// The front panel: the speed slider, the Power, Reset and Pause switches,
// the machine's 55 lamps with their labels, and the RAM control panel, under
// a menu bar. It holds no state of its own: everything it shows belongs to
// the Machine, and every user action becomes a command by id.
class MainWindow : public QMainWindow, public CommandTarget {
    Q_OBJECT

public:
    // Command and control ids.
    static constexpr int aboutId = 104;
    static constexpr int exitId = 105;
    static constexpr int powerId = 110;
    static constexpr int resetId = 111;
    static constexpr int pauseId = 112;
    static constexpr int useFastRamId = 32771;
    static constexpr int loadMemoryFileId = 32772;
    static constexpr int saveMemoryFileId = 32773;
    static constexpr int stepCycleId = 32774;
    static constexpr int stepInstructionId = 32775;
    static constexpr int documentationId = 32776;
    static constexpr int reloadId = 32780;
    static constexpr int viewMemoryId = 32790;
    static constexpr int viewProgramId = 32791;
    static constexpr int runToCursorId = 32792;
    static constexpr int stepBackCycleId = 32781;
    static constexpr int stepBackInstructionId = 32782;

    // The area below the menu bar.
    static constexpr int clientWidth = 469;
    static constexpr int clientHeight = 446;

    static constexpr int sliderMinimum = 10000;    // 1 ms, the fastest clock
    static constexpr int sliderMaximum = 5000000;  // 0.5 s
    static constexpr int sliderTickInterval = 100000;

    // Builds every control and ends with the fast-memory command, so the
    // machine starts with the byte-array memory, Power off, Reset on and
    // Pause off.
    explicit MainWindow(Machine& machine);
    ~MainWindow() override;

    void command(int id, int code) override;

    Machine& machine() const { return machine_; }
    QWidget* panel() const { return panel_; }
    QSlider* speedSlider() const { return slider_; }
    ControlPanelWindow* controlPanelWindow() const { return controlPanel_; }
    ToggleSwitchWidget* powerSwitch() const { return powerSwitch_; }
    ToggleSwitchWidget* resetSwitch() const { return resetSwitch_; }
    ToggleSwitchWidget* pauseSwitch() const { return pauseSwitch_; }
    QMenu* fileMenu() const { return fileMenu_; }
    QMenu* optionsMenu() const { return optionsMenu_; }
    QMenu* runMenu() const { return runMenu_; }
    QMenu* helpMenu() const { return helpMenu_; }
    // View, between Options and Help; made by the first window that adds to it.
    QMenu* viewMenu();
    // View > Signals and its window, made when first chosen (null until then).
    QAction* signalsAction() const { return signalsAction_; }
    SignalsWindow* signalsWindow() const { return signalsWindow_; }
    void showSignalsWindow();
    QAction* relaysAction() const { return relaysAction_; }
    // View > Relays: the window, made on first use; null until then.
    RelaysWindow* relaysWindow() const;
    void showRelaysWindow();
    QAction* useFastRamAction() const { return useFastRamAction_; }
    QAction* stepCycleAction() const { return stepCycleAction_; }
    QAction* stepInstructionAction() const { return stepInstructionAction_; }
    QAction* stepBackCycleAction() const { return stepBackCycleAction_; }
    QAction* stepBackInstructionAction() const { return stepBackInstructionAction_; }
    QAction* reloadAction() const { return reloadAction_; }
    QMenu* openRecentMenu() const { return recentMenu_; }
    QAction* viewMemoryAction() const { return viewMemoryAction_; }
    QAction* viewProgramAction() const { return viewProgramAction_; }
    QAction* runToCursorAction() const { return runToCursorAction_; }
    // The debugging windows, built the first time they are asked for.
    MemoryWindow* memoryWindow();
    ProgramWindow* programWindow();
    // The lines of the source the memory was loaded from, while they still
    // describe it (none after a memory file, Power off or a memory swap).
    std::shared_ptr<const assembler::ProgramText> loadedSource() const { return loadedSource_; }

    // Loads a file as "Load Memory File..." does once that file is chosen
    // (Power on, then the load); the command line's and Open Recent's way in.
    void openFile(const std::string& path);
    // True while a load or a save runs. Its memory steps run on a worker
    // thread; the window stays an ordinary event loop that repaints the lamps
    // and answers the keyboard and the menus, but every item that would act
    // on the machine is greyed and the panel's controls take no input. Exit,
    // the close box and Esc stop the transfer after the current address.
    bool busy() const { return busy_; }

    // Asks for the memory file to load: a path, or nothing when cancelled.
    using FileChooser = std::function<std::optional<std::string>()>;
    // Replaces the open dialog, for callers that already know the file.
    // An empty chooser brings the dialog back.
    void setMemoryFileChooser(FileChooser chooser) { memoryFileChooser_ = std::move(chooser); }
    // The same for the file name "Save Memory File..." writes to.
    void setSaveFileChooser(FileChooser chooser) { saveFileChooser_ = std::move(chooser); }

    // The slider's tooltip: the clock period and the machine cycles per
    // second the simulation thread ran over the last second, "halted" while
    // the program has stopped the clock, or "stopped" with no thread.
    QString speedReadout() const;

    // The Reset switch's tooltip while the clock runs with no phase lamp lit
    // (Power came on with Reset off); empty otherwise.
    static const QString resetHint;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildMenus();
    void addSignalsView();
    void buildPanel();
    // View > Memory and View > Program, and Run > Run to Cursor.
    void buildDebugViews();
    // Runs from a pause, or from Reset on, until the instruction at the Program
    // window's cursor is about to be fetched (a breakpoint there until then).
    void runToCursor();
    // A breakpoint or watchpoint stopped the simulation thread (queued here).
    void onStopped();
    void closeDebugViews();
    // View > Relays, kept apart from the other View items.
    void buildRelaysView();
    void showAbout();
    void loadMemoryFile(const FileChooser& chooseFile);
    void reload();
    void fillRecentMenu();
    std::optional<std::string> askForMemoryFile();
    std::optional<std::string> askForSaveFile();
    void saveMemoryFile();
    void writeSaveFile(const MemoryImage& image, const std::string& path);
    // Enables what may act now: nothing but Exit while busy, stepping only
    // while the machine can step, Reload and Open Recent once a file was used.
    void updateActions();
    void setBusy(bool busy);
    // The worker says it is done (queued to the window thread).
    void onTransferFinished();
    // Called on the worker; hands the end of the transfer to the window thread.
    std::function<void()> transferFinishedNotice();
    void sampleSpeed();
    void updateResetHint();

    Machine& machine_;
    QWidget* panel_ = nullptr;
    QSlider* slider_ = nullptr;
    ToggleSwitchWidget* powerSwitch_ = nullptr;
    ToggleSwitchWidget* resetSwitch_ = nullptr;
    ToggleSwitchWidget* pauseSwitch_ = nullptr;
    ControlPanelWindow* controlPanel_ = nullptr;
    QMenu* fileMenu_ = nullptr;
    QMenu* optionsMenu_ = nullptr;
    QMenu* runMenu_ = nullptr;
    QMenu* helpMenu_ = nullptr;
    QMenu* viewMenu_ = nullptr;
    QAction* signalsAction_ = nullptr;
    SignalsWindow* signalsWindow_ = nullptr;
    QAction* relaysAction_ = nullptr;
    QPointer<RelaysWindow> relaysWindow_;
    QAction* useFastRamAction_ = nullptr;
    QAction* stepCycleAction_ = nullptr;
    QAction* stepInstructionAction_ = nullptr;
    QAction* stepBackCycleAction_ = nullptr;
    QAction* stepBackInstructionAction_ = nullptr;
    QAction* reloadAction_ = nullptr;
    QMenu* recentMenu_ = nullptr;
    QAction* viewMemoryAction_ = nullptr;
    QAction* viewProgramAction_ = nullptr;
    QAction* runToCursorAction_ = nullptr;
    QPointer<MemoryWindow> memoryWindow_;
    QPointer<ProgramWindow> programWindow_;
    std::shared_ptr<const assembler::ProgramText> loadedSource_;
    // The breakpoint Run to Cursor set, cleared when the machine next stops.
    std::optional<std::uint16_t> cursorBreakpoint_;
    QAction* exitAction_ = nullptr;
    QAction* aboutKeys_ = nullptr;
    QAction* stopTransferAction_ = nullptr;
    FileChooser memoryFileChooser_;
    FileChooser saveFileChooser_;

    bool busy_ = false;
    bool closeRequested_ = false;
    // Where a running save goes once its bytes are read.
    struct PendingSave {
        std::string path;
        std::uint16_t first = 0;
        std::uint16_t last = 0;
    };
    std::optional<PendingSave> pendingSave_;
    // The switch that had the keyboard focus when the panel was disabled.
    QPointer<QWidget> focusBeforeBusy_;

    // Thread cycle counts sampled every speedSampleMs, the oldest about a
    // second back: (milliseconds since start, cycles).
    static constexpr int speedSampleMs = 250;
    QTimer* speedTimer_ = nullptr;
    QElapsedTimer speedClock_;
    std::deque<std::pair<qint64, std::uint64_t>> speedSamples_;

    // The thread's cycle count when the phase ring was first seen dark with
    // the clock running; the hint shows once that has lasted resetHintCycles.
    static constexpr std::uint64_t resetHintCycles = 8;
    std::optional<std::uint64_t> ringDarkSince_;
};

}  // namespace tarnwick
