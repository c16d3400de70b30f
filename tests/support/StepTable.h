#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <initializer_list>
#include <string>

namespace tarnwick::testing {

// A step table: each row sets a circuit's inputs, steps the circuit once and
// names what its outputs show after that step. Outputs are written as a
// string of '1', '0' and '-' (not checked), one character per output, in the
// order `read` gives them, so that a row reads like a line of a timing
// diagram: {D, C, "10"}.
//
// `set(circuit, row)` writes the row's inputs; `read(circuit)` returns the
// outputs as such a string. A mismatch names the row and its note.
template <class Circuit, class Row, class Set, class Read>
void expectSteps(Circuit& circuit, std::initializer_list<Row> rows, Set set, Read read) {
    std::size_t index = 0;
    for (const Row& row : rows) {
        set(circuit, row);
        circuit.step();
        const std::string shown = read(circuit);
        const std::string expected = row.outputs;
        bool matches = shown.size() == expected.size();
        for (std::size_t k = 0; matches && k < shown.size(); ++k)
            matches = expected[k] == '-' || expected[k] == shown[k];
        EXPECT_TRUE(matches) << "step " << index << (row.note ? " (" : "") << (row.note ? row.note : "")
                             << (row.note ? ")" : "") << ": expected " << expected << ", shown " << shown;
        ++index;
    }
}

// The outputs of a row as a string: '1' for true, '0' for false.
inline std::string bits(std::initializer_list<bool> outputs) {
    std::string text;
    for (bool on : outputs) text += on ? '1' : '0';
    return text;
}

}  // namespace tarnwick::testing
