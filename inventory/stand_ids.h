#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

// The stand ids of an inventory seen so far, each with the line it was first seen on,
// for the duplicate-id check: one flat table, however many stands.
namespace arbora {

class StandIds {
  public:
    // Records the id as first seen on `line` and returns nothing; when the id was
    // recorded before, returns that first line and records nothing. Ids are any bytes,
    // up to 4 GiB - 1 of them (throws std::length_error beyond).
    std::optional<std::int64_t> add(std::string_view id, std::int64_t line);
    bool contains(std::string_view id) const;

    // The same add, for a run of ids in turn, with one answer each in `firsts`: faster,
    // since the table's places of all of them are fetched from memory together.
    void add(std::span<const std::string_view> ids, std::span<const std::int64_t> lines,
             std::span<std::optional<std::int64_t>> firsts);
    std::size_t size() const { return size_; }

  private:
    // The ids live one after another in bytes_, each after the line it was first seen
    // on (8 bytes, read only for a duplicate); a slot of the open-addressing table
    // (linear probing, a power of two of slots, at most 3/4 full) holds where its id
    // is, its length and the low 32 bits of its hash, so that a lookup of a new id
    // touches one or two cache lines of the table and no id bytes at all, and the
    // table grows without reading the ids again (the slot of an id is its hash's low
    // bits, of which the table takes fewer than 32 below 2^32 slots).
    struct Slot {
        std::uint64_t offset = 0;  // of the id in bytes_, after its line; 0: the slot is free
        std::uint32_t length = 0;
        std::uint32_t hashBits = 0;  // the low 32 bits of the id's hash
    };

    // The slot holding the id, or the free slot where it belongs.
    std::size_t find(std::string_view id, std::uint64_t hash) const;
    std::optional<std::int64_t> add(std::string_view id, std::int64_t line, std::uint64_t hash);
    void grow();

    std::vector<char> bytes_;
    std::vector<Slot> slots_;
    std::size_t size_ = 0;
};

}  // namespace arbora
