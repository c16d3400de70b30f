#include "memory/RelayMemory.h"

#include "memory/RelayLaneRAM.h"
#include "memory/SixtyFourKilobyteRAM.h"

namespace tarnwick {

static_assert(relayMemoryTicksPerStep == SixtyFourKilobyteRAM::ticksPerStep);

std::unique_ptr<SixtyFourKbRAM> makeRelayMemory(RelayMemoryKind kind) {
    if (kind == RelayMemoryKind::Tree) return std::make_unique<SixtyFourKilobyteRAM>();
    return std::make_unique<RelayLaneRAM>();
}

}  // namespace tarnwick
