#pragma once

#include <cstddef>
#include <string>
#include <type_traits>
#include <utility>

#include "relay/Circuit.h"

namespace tarnwick {

// Walks of a circuit's description at run time, building each relay's and
// output's hierarchical name from the member names: "adder.bits[3].sum".

namespace walk {

inline void appendName(std::string& path, std::string_view name) {
    if (!path.empty()) path += '.';
    path += name;
}

inline void appendIndex(std::string& path, std::size_t index) {
    path += '[';
    path += std::to_string(index);
    path += ']';
}

}  // namespace walk

// The walks are kept out of line: inlined, a walk of the whole computer is
// one function of thousands of string operations, which takes the optimiser
// minutes and gigabytes for no gain (it runs once).

// Calls onRelay(name, relay) for every relay of circuit, in description order.
template <class T, class OnRelay>
[[gnu::noinline]] void forEachRelay(const T& circuit, std::string& path, OnRelay&& onRelay) {
    if constexpr (RelayType<T>) {
        onRelay(static_cast<const std::string&>(path), circuit);
    } else if constexpr (Described<T>) {
        forEachMember<T>([&](const auto& member) {
            const std::size_t length = path.size();
            walk::appendName(path, member.name);
            forEachRelay(circuit.*member.pointer, path, onRelay);
            path.resize(length);
        });
    } else {
        static_assert(Holding<T>::isArray && !Holding<T>::isOwned, "only circuits held by value are walked");
        std::size_t index = 0;
        for (const auto& element : circuit) {
            const std::size_t length = path.size();
            walk::appendIndex(path, index++);
            forEachRelay(element, path, onRelay);
            path.resize(length);
        }
    }
}

// Calls onOutput(name, width, circuit, output) for every output of circuit
// and of every circuit inside it, outer circuits first; output is an
// OutputAt of the circuit's type, its description as a type.
template <class T, class OnOutput>
[[gnu::noinline]] void forEachOutput(const T& circuit, std::string& path, OnOutput&& onOutput) {
    if constexpr (RelayType<T>) {
        return;
    } else if constexpr (Described<T>) {
        if constexpr (requires { T::outputs(); }) {
            constexpr std::size_t count = std::tuple_size_v<decltype(T::outputs())>;
            [&]<std::size_t... I>(std::index_sequence<I...>) {
                auto one = [&](const auto& out) {
                    const std::size_t length = path.size();
                    walk::appendName(path, out.name);
                    onOutput(static_cast<const std::string&>(path), circuit, out);
                    path.resize(length);
                };
                (one(OutputAt<T, I>{}), ...);
            }
            (std::make_index_sequence<count>{});
        }
        forEachMember<T>([&](const auto& member) {
            const std::size_t length = path.size();
            walk::appendName(path, member.name);
            forEachOutput(circuit.*member.pointer, path, onOutput);
            path.resize(length);
        });
    } else {
        std::size_t index = 0;
        for (const auto& element : circuit) {
            const std::size_t length = path.size();
            walk::appendIndex(path, index++);
            forEachOutput(element, path, onOutput);
            path.resize(length);
        }
    }
}

// The name of relay k of a circuit type (relative to the circuit), from the
// description alone, following owned parts too: "cells[2].storeGate.relays[1]".
template <class T>
[[gnu::noinline]] void appendRelayName(std::size_t k, std::string& path) {
    if constexpr (RelayType<T>) {
        return;
    } else if constexpr (Described<T>) {
        bool done = false;
        forEachMember<T>([&](const auto& member) {
            using Held = Holding<typename std::remove_cvref_t<decltype(member)>::MemberType>;
            constexpr std::size_t each = relayCount<typename Held::Element>();
            if (done) return;
            if (k >= Held::count * each) {
                k -= Held::count * each;
                return;
            }
            done = true;
            walk::appendName(path, member.name);
            if constexpr (Held::isArray) walk::appendIndex(path, k / each);
            appendRelayName<typename Held::Element>(k % each, path);
        });
    } else {
        using Held = Holding<T>;
        constexpr std::size_t each = relayCount<typename Held::Element>();
        if constexpr (Held::isArray) walk::appendIndex(path, k / each);
        appendRelayName<typename Held::Element>(k % each, path);
    }
}

}  // namespace tarnwick
