#pragma once

#include <array>
#include <string_view>

namespace tarnwick {

// The eight section steps of a machine cycle, in the order runCycle runs them.
enum class Section { clock, phases, counter, addressing, memory, registers, control, arithmetic };

inline constexpr std::array<std::string_view, 8> sectionNames = {
    "clock", "phases", "counter", "addressing", "memory", "registers", "control", "arithmetic"};

constexpr std::string_view sectionName(Section section) { return sectionNames[static_cast<int>(section)]; }

// Where a circuit's supply comes from: the power rail (distributePower), or
// the contact of another circuit.
enum class Supply { rail, contact };

// A member of the computer's description: the member, its section, its supply.
template <class M>
struct SectionMember {
    Section section;
    M member;
    Supply supply = Supply::rail;
};

template <class M>
SectionMember(Section, M, Supply) -> SectionMember<M>;
template <class M>
SectionMember(Section, M) -> SectionMember<M>;

}  // namespace tarnwick
