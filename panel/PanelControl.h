#pragma once

#include <atomic>
#include <cstdint>

namespace tarnwick {

// The window of a lamp or switch, as the core sees it: something that can be
// asked to repaint. Implementations must accept the request from any thread
// and paint later on the window thread.
class PanelWindow {
public:
    virtual void requestRepaint() = 0;

protected:
    ~PanelWindow() = default;
};

// The state half of a front-panel lamp or switch: one state byte (0 off,
// anything else on) and the window that shows it, if any. The byte is written
// on one thread and read on another, hence atomic; relaxed ordering is enough
// because each reader wants only the latest single byte.
class PanelControl {
public:
    PanelControl() = default;
    PanelControl(const PanelControl&) = delete;
    PanelControl& operator=(const PanelControl&) = delete;

    // Stores the state and asks the window to repaint, only on a change.
    void setState(std::uint8_t state) {
        if (state_.load(std::memory_order_relaxed) == state) return;
        state_.store(state, std::memory_order_relaxed);
        if (PanelWindow* window = window_.load(std::memory_order_acquire)) window->requestRepaint();
    }
    std::uint8_t state() const { return state_.load(std::memory_order_relaxed); }
    bool isOn() const { return state() != 0; }

    // The window attaches itself when created and detaches when destroyed.
    void attach(PanelWindow* window) { window_.store(window, std::memory_order_release); }
    void detach() { window_.store(nullptr, std::memory_order_release); }
    PanelWindow* window() const { return window_.load(std::memory_order_acquire); }

private:
    std::atomic<PanelWindow*> window_{nullptr};
    std::atomic<std::uint8_t> state_{0};
};

// A 24 x 24 lamp: lit while its state is non-zero.
class IndicatorLamp : public PanelControl {};

// A 24 x 40 lever switch: lever up (on) while its state is non-zero. Clicks
// are handled by its window, which flips the state and notifies its parent.
class ToggleSwitch : public PanelControl {};

}  // namespace tarnwick
