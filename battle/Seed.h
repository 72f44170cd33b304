#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <random>

#include "Random.h"

// A seed for battles nobody fixed. It must differ from launch to launch and
// from call to call: the processor time a program has used is much the same
// at the first battle of every launch, so it is no seed. The operating
// system's entropy is mixed with the wall clock and a counter, so that a
// system without entropy still gets seeds apart.
inline uint64_t FreshSeed() {
    static std::atomic<uint64_t> calls{0};
    uint64_t entropy = 0;
    try {
        std::random_device device;
        entropy = (uint64_t{device()} << 32) ^ device();
    } catch (const std::exception&) {
        // No entropy source: the clock and the counter still differ.
    }
    const auto now = static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
    const uint64_t call = calls.fetch_add(1, std::memory_order_relaxed);
    return splitmix64(entropy ^ splitmix64(now ^ splitmix64(call)));
}
