#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora::cli {

// One of N slices of a listing ("--shard K/N"). A document belongs to shard
// ShardHash(its path bytes) mod N + 1: the same on every machine and in every
// run, so N tasks given the same listing split it with no overlap and no gap.
struct Shard {
    uint32_t index = 0;  // K, from 1; 0 when the run is not sharded
    uint32_t count = 0;  // N

    bool Sharded() const { return count != 0; }
    bool Holds(std::string_view pathBytes) const;
    std::string Text() const;  // "K/N"
};

// 64-bit FNV-1a over the bytes: offset basis 14695981039346656037, prime
// 1099511628211.
uint64_t ShardHash(std::string_view bytes);

// Parses "K/N", 1 <= K <= N <= 1000000. Throws UsageError.
Shard ParseShard(const std::string& text);

}  // namespace velmora::cli
