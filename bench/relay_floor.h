#pragma once

#include <cstddef>

#include "relay/Relay.h"

namespace tarnwick::bench {

// One tick of each of count relays, vectorised (relay_floor.cpp).
void tickAll(Relay* relays, std::size_t count);

}  // namespace tarnwick::bench
