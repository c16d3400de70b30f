#pragma once

#include <cstdint>
#include <memory>

#include "memory/SixtyFourKbRAM.h"

namespace tarnwick {

// The two builds of the relay-built memory: the same relays in the same
// states after every step. Lanes steps them level by level, side by side;
// Tree is the tree of separately created parts, stepped depth first.
enum class RelayMemoryKind { Lanes, Tree };

// Relay ticks in one step of either build: every relay once, and the two
// latch gates of every cell once more.
inline constexpr std::uint64_t relayMemoryTicksPerStep = 12'378'051;

// Throws std::bad_alloc, leaving nothing allocated, when storage is short.
std::unique_ptr<SixtyFourKbRAM> makeRelayMemory(RelayMemoryKind kind = RelayMemoryKind::Lanes);

}  // namespace tarnwick
