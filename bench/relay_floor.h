#pragma once

#include <cstddef>

#include "relay/Relay.h"

namespace tarnwick::bench {

// One tick of each of count relays, vectorised (relay_floor.cpp).
void tickAll(Relay* relays, std::size_t count);

// The same with AVX-512 instructions; only where the processor has them.
void tickAllAvx512(Relay* relays, std::size_t count);

}  // namespace tarnwick::bench
