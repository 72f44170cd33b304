#pragma once

#include <cstdint>

// A seed mixer: nearby inputs give unrelated outputs, so counters and clock
// readings make good generator seeds.
inline uint64_t splitmix64(uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

// The battle generator: wyrand, split into its step and its output so hot
// loops keep the state in a register and take a draw only when a condition
// holds, without a branch. The step is one addition, so a draw waits on
// nothing but that; the output mixes the state with one 64x64->128-bit
// multiplication, and a draw is its upper half.
namespace wyrand {

inline uint64_t advance(uint64_t x) {
    return x + 0xA0761D6478BD642FULL;
}

// The full 128-bit product of a and b as two halves. GCC keeps a 128-bit
// value in a register pair only while registers are plentiful; in a busy
// loop it goes through the stack, which puts a store and a load on every
// draw's latency, so on x86-64 the multiplication names its registers.
inline void multiply(uint64_t a, uint64_t b, uint64_t& low, uint64_t& high) {
#if defined(__x86_64__) && defined(__GNUC__)
    asm("mulq %3" : "=a"(low), "=d"(high) : "%0"(a), "rm"(b) : "cc");
#elif defined(__wasm__)
    // WebAssembly has no wide multiplication: a 128-bit product becomes a
    // library call. Four 32x32->64 products give the same bits inline.
    const uint64_t aLow = static_cast<uint32_t>(a), aHigh = a >> 32;
    const uint64_t bLow = static_cast<uint32_t>(b), bHigh = b >> 32;
    const uint64_t lh = aLow * bHigh, hl = aHigh * bLow;
    const uint64_t cross = lh + ((aLow * bLow) >> 32) + static_cast<uint32_t>(hl);  // cannot overflow
    low = a * b;
    high = aHigh * bHigh + (hl >> 32) + (cross >> 32);
#else
    const auto p = static_cast<unsigned __int128>(a) * b;
    low = static_cast<uint64_t>(p);
    high = static_cast<uint64_t>(p >> 64);
#endif
}

inline uint32_t output(uint64_t x) {
#if defined(__wasm__)
    // The upper halves of both words of the product, from 32-bit halves:
    // the low word's is the cross sum's low half, so a*b is not needed. The
    // cross sum takes one partial product whole (it cannot overflow), which
    // leaves the high word one shift and one addition fewer.
    const uint64_t y = x ^ 0xE7037ED1A0B428DBULL;
    const uint64_t xLow = static_cast<uint32_t>(x), xHigh = x >> 32;
    const uint64_t yLow = static_cast<uint32_t>(y), yHigh = y >> 32;
    const uint64_t lh = xLow * yHigh, hl = xHigh * yLow;
    const uint64_t cross = lh + ((xLow * yLow) >> 32) + static_cast<uint32_t>(hl);
    const uint64_t high = xHigh * yHigh + (hl >> 32) + (cross >> 32);
    return static_cast<uint32_t>(cross) ^ static_cast<uint32_t>(high >> 32);
#else
    uint64_t low, high;
    multiply(x, x ^ 0xE7037ED1A0B428DBULL, low, high);
    return static_cast<uint32_t>((low ^ high) >> 32);
#endif
}

// x % n for 0 < n < 2^32, exactly, with m = reciprocal(n): Lemire's fastmod,
// two multiplications instead of a division.
inline uint64_t reciprocal(uint32_t n) {
    return UINT64_MAX / n + 1;  // wraps to 0 for n = 1, giving 0
}
inline uint32_t fastmod(uint32_t x, uint64_t m, uint32_t n) {
#if defined(__wasm__)
    // Only the upper half of a 64x32-bit product: two 32x32->64 products.
    const uint64_t p = m * x;
    const uint64_t low = (p & 0xFFFFFFFFu) * n;
    return static_cast<uint32_t>(((p >> 32) * n + (low >> 32)) >> 32);
#else
    uint64_t low, high;
    multiply(m * x, n, low, high);
    return static_cast<uint32_t>(high);
#endif
}

// The hit test, draw % 100 <= chance, as one multiplication and one
// comparison: with m = reciprocal(100), m * x (mod 2^64) lies in
// [(x % 100) * m, (x % 100) * m + 2^32), and those ranges do not meet.
inline constexpr uint64_t kHundredth = UINT64_MAX / 100 + 1;
inline uint64_t hitThreshold(int chance) {
    return chance < 0 ? 0 : chance >= 99 ? UINT64_MAX : static_cast<uint64_t>(chance + 1) * kHundredth;
}
inline bool hitDraw(uint32_t x, uint64_t threshold) {
    return kHundredth * x < threshold;
}

}  // namespace wyrand
