#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

namespace tarnwick {

// A memory's saved state as bytes: a kind tag, then the memory's fields and
// stores one after another. The vector is reused from save to save, so a
// history of saves allocates only while it grows.
class StateWriter {
public:
    StateWriter(std::vector<std::uint8_t>& out, std::uint8_t kind, std::size_t size) : out_(out) {
        out_.resize(size + 1);
        out_[0] = kind;
    }
    template <class T>
    void field(const T& value) {
        static_assert(std::is_trivially_copyable_v<T>);
        bytes(&value, sizeof value);
    }
    void bytes(const void* data, std::size_t size) {
        // A size stated too small grows the state instead of overrunning it
        // (and the reader then refuses it).
        if (at_ + size > out_.size()) out_.resize(at_ + size);
        std::memcpy(out_.data() + at_, data, size);
        at_ += size;
    }

private:
    std::vector<std::uint8_t>& out_;
    std::size_t at_ = 1;
};

class StateReader {
public:
    // Valid when the state has this kind and exactly this size.
    StateReader(const std::vector<std::uint8_t>& in, std::uint8_t kind, std::size_t size)
        : in_(in), valid_(in.size() == size + 1 && in[0] == kind) {}
    bool valid() const { return valid_; }
    template <class T>
    void field(T& value) {
        static_assert(std::is_trivially_copyable_v<T>);
        bytes(&value, sizeof value);
    }
    void bytes(void* data, std::size_t size) {
        if (!valid_ || at_ + size > in_.size()) return;
        std::memcpy(data, in_.data() + at_, size);
        at_ += size;
    }

private:
    const std::vector<std::uint8_t>& in_;
    bool valid_;
    std::size_t at_ = 1;
};

// Kind tags, one per memory that keeps copies.
inline constexpr std::uint8_t fastRamState = 1;
inline constexpr std::uint8_t relayLaneRamState = 2;
inline constexpr std::uint8_t controlPanelState = 3;

}  // namespace tarnwick
