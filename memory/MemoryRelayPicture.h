#pragma once

#include <array>
#include <cstdint>

namespace tarnwick {

// A compact picture of the relay-built memory for a view: how many relays
// of each part have their normally-open contact carrying current. Cell
// column j of row r of block b is columns[b * 64 + r * 8 + j] (it holds bit
// j of addresses b * 64 + r * 8 to b * 64 + r * 8 + 7); a block's own relays
// are its row decoder and its eight bit selectors; the level bodies are
// numbered from the top, each level from the lowest address.
struct MemoryRelayPicture {
    static constexpr int blockCount = 1024;
    static constexpr int columnCount = 65'536;
    static constexpr int nodeCount = 1023;
    static constexpr int levelCount = 10;
    // The most relays of one part that can be lit: the sizes of a cell column,
    // of a block's own relays and of a level body.
    static constexpr int columnRelays = 150;
    static constexpr int blockOwnRelays = 379;
    static constexpr int nodeRelays = 61;

    std::array<std::uint8_t, columnCount> columns{};
    std::array<std::uint16_t, blockCount> blocks{};
    std::array<std::uint8_t, nodeCount> nodes{};
};

}  // namespace tarnwick
