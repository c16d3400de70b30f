#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "memory/MemoryFile.h"

namespace tarnwick {

class Computer;

// The memory steps of a load or a save, run on a worker thread of their own
// so that the window thread stays a plain event loop. Every step is one of
// the computer's locked memory steps, so it never overlaps a machine cycle
// of the simulation thread; the worker touches nothing else of the machine.
// The window sees progress through the lamps the steps set (their repaints
// are queued to it) and the end through `finished`, which the worker calls
// as its last act. One transfer at a time.
class MemoryTransfer {
public:
    using Finished = std::function<void()>;

    MemoryTransfer() = default;
    MemoryTransfer(const MemoryTransfer&) = delete;
    MemoryTransfer& operator=(const MemoryTransfer&) = delete;
    // Stops a transfer still running after its current address and joins it.
    ~MemoryTransfer();

    // Writes the image one memory step per address in increasing order,
    // waiting pauseAfterEach after each. Returns false, starting nothing,
    // while another transfer has not been finished.
    bool startWrite(Computer& computer, MemoryImage image, std::chrono::milliseconds pauseAfterEach,
                    Finished finished);
    // Reads first to last one memory step per address with Write off.
    bool startRead(Computer& computer, std::uint16_t first, std::uint16_t last, Finished finished);

    // Asks the worker to stop after the address it is at; a pause under way
    // ends at once. Any thread.
    void requestStop();
    // Started and not yet finished (the worker may have ended already).
    bool active() const { return worker_.joinable(); }

    struct Outcome {
        bool stopped = false;             // stopped before its last address
        std::vector<std::uint8_t> bytes;  // a read's bytes, up to where it stopped
    };
    // Waits for the worker to end and hands over what it did. Call from the
    // thread that started the transfer; an idle transfer gives an empty outcome.
    Outcome finish();

private:
    bool start(Finished finished, std::function<void()> work);
    // After an address: false when a stop was asked for, else the pause.
    bool pauseOrStop(std::chrono::milliseconds pause);

    std::thread worker_;
    std::mutex stopLock_;
    std::condition_variable stopAsked_;
    bool stop_ = false;  // guarded by stopLock_
    Outcome outcome_;    // the worker's until it is joined
};

}  // namespace tarnwick
