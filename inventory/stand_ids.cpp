#include "inventory/stand_ids.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace arbora {
namespace {

// A 64-bit hash of the bytes, eight at a time: each word is mixed in by a multiply and
// a shift that brings its high bits down, and the end by MurmurHash3's finaliser, so
// that the low bits (the slot, and those kept to tell ids apart) depend on every byte.
std::uint64_t hashOf(std::string_view id) {
    constexpr std::uint64_t golden = 0x9E3779B97F4A7C15ULL;
    std::uint64_t h = id.size() * golden;
    const char* p = id.data();
    std::size_t n = id.size();
    const auto mixIn = [&](std::uint64_t word) {
        h = (h ^ word) * golden;
        h ^= h >> 32;
    };
    for (; n >= 8; p += 8, n -= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        mixIn(word);
    }
    if (n > 0) {
        std::uint64_t word = 0;
        std::memcpy(&word, p, n);
        mixIn(word);
    }
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDULL;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ULL;
    return h ^ (h >> 33);
}

}  // namespace

std::size_t StandIds::find(std::string_view id, std::uint64_t hash) const {
    const std::size_t mask = slots_.size() - 1;
    const auto bits = static_cast<std::uint32_t>(hash);
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot& slot = slots_[i];
        if (slot.offset == 0) return i;
        if (slot.hashBits == bits && slot.length == id.size() &&
            (id.empty() || std::memcmp(bytes_.data() + slot.offset, id.data(), id.size()) == 0)) {
            return i;
        }
    }
}

void StandIds::grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(std::max<std::size_t>(16, 2 * old.size()), Slot{});
    const std::size_t mask = slots_.size() - 1;
    const bool bitsSuffice = mask <= std::numeric_limits<std::uint32_t>::max();
    for (const Slot& slot : old) {
        if (slot.offset == 0) continue;
        // The ids are distinct, so each goes to the first free slot from its place.
        std::size_t i =
            (bitsSuffice ? slot.hashBits : hashOf({bytes_.data() + slot.offset, slot.length})) &
            mask;
        while (slots_[i].offset != 0)
            i = (i + 1) & mask;
        slots_[i] = slot;
    }
}

std::optional<std::int64_t> StandIds::add(std::string_view id, std::int64_t line) {
    return add(id, line, hashOf(id));
}

void StandIds::add(std::span<const std::string_view> ids, std::span<const std::int64_t> lines,
                   std::span<std::optional<std::int64_t>> firsts) {
    constexpr std::size_t run = 64;  // about the misses a core keeps in flight
    std::uint64_t hashes[run];
    for (std::size_t start = 0; start < ids.size(); start += run) {
        const std::size_t count = std::min(run, ids.size() - start);
        while (4 * (size_ + count) > 3 * slots_.size())
            grow();
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = 0; i < count; ++i) {
            hashes[i] = hashOf(ids[start + i]);
            __builtin_prefetch(&slots_[hashes[i] & mask]);
        }
        for (std::size_t i = 0; i < count; ++i)
            firsts[start + i] = add(ids[start + i], lines[start + i], hashes[i]);
    }
}

std::optional<std::int64_t> StandIds::add(std::string_view id, std::int64_t line,
                                          std::uint64_t hash) {
    if (id.size() > std::numeric_limits<std::uint32_t>::max()) {
        throw std::length_error("a stand id of more than 4 GiB");
    }
    if (4 * (size_ + 1) > 3 * slots_.size()) grow();
    Slot& slot = slots_[find(id, hash)];
    if (slot.offset != 0) {
        std::int64_t first;
        std::memcpy(&first, bytes_.data() + slot.offset - sizeof first, sizeof first);
        return first;
    }
    const char* lineBytes = reinterpret_cast<const char*>(&line);
    bytes_.insert(bytes_.end(), lineBytes, lineBytes + sizeof line);
    slot.offset = bytes_.size();
    slot.length = static_cast<std::uint32_t>(id.size());
    slot.hashBits = static_cast<std::uint32_t>(hash);
    bytes_.insert(bytes_.end(), id.begin(), id.end());
    ++size_;
    return std::nullopt;
}

bool StandIds::contains(std::string_view id) const {
    return !slots_.empty() && slots_[find(id, hashOf(id))].offset != 0;
}

}  // namespace arbora
