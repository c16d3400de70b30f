#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string_view>
#include <tuple>
#include <type_traits>

#include "relay/Relay.h"

namespace tarnwick {

// The description of a circuit, written once in the circuit itself:
//
//   static constexpr auto members() -- every member, by name, in order;
//   static constexpr auto outputs() -- every output, by name and width.
//
// Relay counts, the size checks, the relay positions the lanes use and the
// names in the machine's map are all derived from it (see relayCount,
// relayIndex and checkedLayout below, and machine/MachineMap.h).

// A member's name is its identifier without the trailing underscore.
constexpr std::string_view memberName(std::string_view identifier) {
    if (!identifier.empty() && identifier.back() == '_') identifier.remove_suffix(1);
    return identifier;
}

// One member. offset is the member's place in its owner in bytes, known only
// for circuits of standard layout (every relay circuit); noOffset elsewhere.
inline constexpr std::size_t noOffset = static_cast<std::size_t>(-1);

template <class Owner, class Type>
struct Member {
    using OwnerType = Owner;
    using MemberType = Type;
    std::string_view name;
    Type Owner::*pointer;
    std::size_t offset;
};

// Inside a circuit's members(): a member and where the compiler put it.
#define TARNWICK_MEMBER(Owner, field)                                         \
    ::tarnwick::Member<Owner, decltype(Owner::field)> {                       \
        ::tarnwick::memberName(#field), &Owner::field, offsetof(Owner, field) \
    }
// The same for an owner whose layout is not standard (the computer, and the
// memory circuits that own their parts through pointers).
#define TARNWICK_PART(Owner, field)                                         \
    ::tarnwick::Member<Owner, decltype(Owner::field)> {                     \
        ::tarnwick::memberName(#field), &Owner::field, ::tarnwick::noOffset \
    }

// One output: bit(circuit, i) is bit i of a bus of width bits (0 for a single bit).
template <class Owner>
struct Output {
    std::string_view name;
    int width;
    bool (*bit)(const Owner&, int);
};

// Output I of Owner's description as a type: its bit reader is a constant
// the compiler can inline where a whole bus is read at once.
template <class Owner, std::size_t I>
struct OutputAt {
    static constexpr Output<Owner> description = std::get<I>(Owner::outputs());
    std::string_view name = description.name;
    int width = description.width;
    bool (*bit)(const Owner&, int) = description.bit;
};

// A relay: the byte kind or a lane vector of relays (LaneRelay).
template <class T>
concept RelayType = std::is_same_v<T, Relay> || requires {
    typename T::LaneRelayTag;
};

template <class T>
concept Described = requires {
    T::members();
};

// What a member holds: the element type and how many, for arrays and for
// parts owned through a pointer.
template <class T>
struct Holding {
    using Element = T;
    static constexpr std::size_t count = 1;
    static constexpr bool isArray = false;
    static constexpr bool isOwned = false;
};
template <class T, std::size_t N>
struct Holding<T[N]> {
    using Element = T;
    static constexpr std::size_t count = N;
    static constexpr bool isArray = true;
    static constexpr bool isOwned = false;
};
template <class T, std::size_t N>
struct Holding<std::array<T, N>> : Holding<T[N]> {};
template <class T>
struct Holding<std::unique_ptr<T>> {
    using Element = T;
    static constexpr std::size_t count = 1;
    static constexpr bool isArray = false;
    static constexpr bool isOwned = true;
};
template <class T, std::size_t N>
struct Holding<std::array<std::unique_ptr<T>, N>> {
    using Element = T;
    static constexpr std::size_t count = N;
    static constexpr bool isArray = true;
    static constexpr bool isOwned = true;
};

// Calls f(member) for every member of the description, in order.
template <class T, class F>
constexpr void forEachMember(F&& f) {
    std::apply([&](const auto&... member) { (f(member), ...); }, T::members());
}

// The relays of a circuit (or a relay, or an array of either), counted from
// its description; parts owned through pointers are counted too.
template <class T>
consteval std::size_t relayCount() {
    if constexpr (RelayType<T>) {
        return 1;
    } else if constexpr (Described<T>) {
        std::size_t count = 0;
        forEachMember<T>([&](const auto& member) {
            using Held = Holding<typename std::remove_cvref_t<decltype(member)>::MemberType>;
            count += Held::count * relayCount<typename Held::Element>();
        });
        return count;
    } else {
        using Held = Holding<T>;
        static_assert(Held::isArray || Held::isOwned,
                      "a member that is neither a relay nor a described circuit");
        return Held::count * relayCount<typename Held::Element>();
    }
}

// Whether the description lists every member of T in the order the compiler
// laid them out, with nothing between them: each member starts where the
// relays before it end, and T is exactly its relays. Then relay k of the
// description is byte k of the circuit (or lane vector k of a lane circuit).
template <class T, std::size_t RelayBytes>
consteval bool layoutFollowsDescription() {
    bool follows = true;
    std::size_t relays = 0;
    forEachMember<T>([&](const auto& member) {
        using Held = Holding<typename std::remove_cvref_t<decltype(member)>::MemberType>;
        if (Held::isOwned || member.offset != relays * RelayBytes) follows = false;
        relays += Held::count * relayCount<typename Held::Element>();
    });
    return follows && sizeof(T) == relays * RelayBytes;
}

// The relay count of a circuit whose layout has been checked against its
// description; used where the size of a circuit matters.
template <class T, std::size_t RelayBytes = 1>
consteval std::size_t checkedRelayCount() {
    static_assert(layoutFollowsDescription<T, RelayBytes>(),
                  "the members of this circuit are not described in the order they are declared");
    return relayCount<T>();
}

// The index of a member's first relay within its owner, from the description.
template <auto Pointer, class Owner>
consteval std::size_t relayIndexOfMember() {
    std::size_t relays = 0;
    std::size_t found = noOffset;
    forEachMember<Owner>([&](const auto& member) {
        using M = std::remove_cvref_t<decltype(member)>;
        using Held = Holding<typename M::MemberType>;
        if constexpr (std::is_same_v<decltype(member.pointer), decltype(Pointer)>) {
            if (member.pointer == Pointer && found == noOffset) found = relays;
        }
        relays += Held::count * relayCount<typename Held::Element>();
    });
    return found;
}

// The index of the first relay of the member with the given name; a name the
// description lacks does not compile where a constant is needed.
template <class Owner>
consteval std::size_t relayIndexOf(std::string_view name) {
    std::size_t relays = 0;
    std::size_t found = noOffset;
    forEachMember<Owner>([&](const auto& member) {
        using Held = Holding<typename std::remove_cvref_t<decltype(member)>::MemberType>;
        if (member.name == name && found == noOffset) found = relays;
        relays += Held::count * relayCount<typename Held::Element>();
    });
    if (found == noOffset) throw "no member of that name in the circuit's description";
    return found;
}

template <class>
struct MemberPointerTraits;
template <class Owner, class Type>
struct MemberPointerTraits<Type Owner::*> {
    using OwnerType = Owner;
    using MemberType = Type;
};

// relayIndex<&Owner::member_>(): where a member's relays start, checked to
// be a described member.
template <auto Pointer>
consteval std::size_t relayIndex() {
    using Owner = typename MemberPointerTraits<decltype(Pointer)>::OwnerType;
    constexpr std::size_t index = relayIndexOfMember<Pointer, Owner>();
    static_assert(index != noOffset, "not a described member");
    return index;
}

}  // namespace tarnwick
