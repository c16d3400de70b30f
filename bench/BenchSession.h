#pragma once

// What the benchmarks run: one program, a session started on it, and the
// calling thread's CPU clock.

#include <time.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>

#include "app/Machine.h"
#include "app/MemoryLoader.h"
#include "app/Session.h"
#include "memory/MemoryFile.h"

namespace tarnwick::bench {

// Load, add, store, shift, jump back to the start: a program that never
// halts and uses memory reads, arithmetic, a store and a jump every pass.
inline MemoryImage loopingProgram() {
    MemoryImage image;
    image.first = 0;
    const std::uint8_t program[] = {0x10, 0x00, 0x20, 0x20, 0x00, 0x21, 0x11,
                                    0x00, 0x22, 0x44, 0x30, 0x00, 0x00};
    image.bytes.assign(0x23, 0);
    std::copy(std::begin(program), std::end(program), image.bytes.begin());
    image.bytes[0x20] = 0x5A;
    image.bytes[0x21] = 0x33;
    image.last = static_cast<std::int32_t>(image.bytes.size()) - 1;
    return image;
}

// A session on the byte array (fastRam) or the relay-built memory with the
// looping program loaded and cycle 1 run.
inline std::unique_ptr<Session> runningSession(bool fastRam) {
    auto session = std::make_unique<Session>(fastRam);
    session->load(loopingProgram());
    session->start();
    return session;
}

// A machine powered on with the looping program written in and Reset off;
// its cycles are the caller's to run.
inline void loadLoopingProgram(Machine& machine) {
    machine.computer().powerSwitch().setState(1);
    machine.powerCommand();
    writeMemoryImage(machine.computer(), loopingProgram());
    machine.computer().resetSwitch().setState(0);
}

// The calling thread's CPU time in seconds.
inline double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace tarnwick::bench
