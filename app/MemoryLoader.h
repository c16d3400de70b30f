#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "memory/MemoryFile.h"

namespace tarnwick {

class Computer;

// Writes the image into the computer's memory through its control panel, one
// memory step per address in increasing order (the sixteen address lines,
// each followed by its address lamp, the eight data-in lines, Write on, one
// panel step), each step under the cycle lock. afterEach, if given, runs
// after each address with the lock released (to repaint or to pause) and may
// return false to stop the load there: what was written stays. Returns false
// and writes nothing if the image is not consistent().
bool writeMemoryImage(Computer& computer, const MemoryImage& image,
                      const std::function<bool(std::int32_t address)>& afterEach = {});

// Reads the memory from first to last through the control panel with Write
// off, one memory step per address, each under the cycle lock. afterEach, if
// given, runs after each address with the lock released and may return false
// to stop there; the bytes read until then are returned.
std::vector<std::uint8_t> readMemoryRange(Computer& computer, std::uint16_t first, std::uint16_t last,
                                          const std::function<bool()>& afterEach = {});

}  // namespace tarnwick
