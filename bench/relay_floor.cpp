// The floor of a relay-memory step: one tick of every relay byte in a flat
// array. Compiled on its own with the vectoriser on (see CMakeLists.txt), so
// that the floor is what the hardware does for that loop, not what -O2 makes
// of it.

#include "relay_floor.h"

namespace tarnwick::bench {

void tickAll(Relay* relays, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) relays[i].tick();
}

[[gnu::target("avx512bw")]] void tickAllAvx512(Relay* relays, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) relays[i].tick();
}

}  // namespace tarnwick::bench
