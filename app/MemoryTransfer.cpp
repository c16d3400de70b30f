#include "app/MemoryTransfer.h"

#include <utility>

#include "app/MemoryLoader.h"

namespace tarnwick {

MemoryTransfer::~MemoryTransfer() {
    requestStop();
    if (worker_.joinable()) worker_.join();
}

bool MemoryTransfer::start(Finished finished, std::function<void()> work) {
    if (worker_.joinable()) return false;
    {
        std::lock_guard lock(stopLock_);
        stop_ = false;
    }
    outcome_ = Outcome{};
    worker_ = std::thread([finished = std::move(finished), work = std::move(work)] {
        work();
        if (finished) finished();
    });
    return true;
}

bool MemoryTransfer::pauseOrStop(std::chrono::milliseconds pause) {
    std::unique_lock lock(stopLock_);
    if (pause.count() > 0) stopAsked_.wait_for(lock, pause, [this] { return stop_; });
    return !stop_;
}

bool MemoryTransfer::startWrite(Computer& computer, MemoryImage image,
                                std::chrono::milliseconds pauseAfterEach, Finished finished) {
    return start(std::move(finished), [this, &computer, image = std::move(image), pauseAfterEach] {
        writeMemoryImage(computer, image, [&](std::int32_t address) {
            if (pauseOrStop(pauseAfterEach)) return true;
            outcome_.stopped = address < image.last;
            return false;
        });
    });
}

bool MemoryTransfer::startRead(Computer& computer, std::uint16_t first, std::uint16_t last,
                               Finished finished) {
    return start(std::move(finished), [this, &computer, first, last] {
        outcome_.bytes = readMemoryRange(computer, first, last, [&] {
            if (pauseOrStop(std::chrono::milliseconds(0))) return true;
            outcome_.stopped = true;
            return false;
        });
        // A stop asked for after the last address is no stop.
        if (first <= last && outcome_.bytes.size() == std::size_t{last} - first + 1u)
            outcome_.stopped = false;
    });
}

void MemoryTransfer::requestStop() {
    {
        std::lock_guard lock(stopLock_);
        stop_ = true;
    }
    stopAsked_.notify_all();
}

MemoryTransfer::Outcome MemoryTransfer::finish() {
    if (!worker_.joinable()) return {};
    worker_.join();
    return std::exchange(outcome_, Outcome{});
}

}  // namespace tarnwick
