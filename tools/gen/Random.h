#pragma once
// Deterministic choices. Every entity draws from its own stream derived from the seed, so
// a row does not depend on how many random numbers an earlier row happened to use.
#include <cstdint>
#include <span>

namespace gen {

inline uint64_t mix(uint64_t x)
{
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

inline uint64_t streamSeed(uint64_t seed, uint64_t kind, uint64_t a = 0, uint64_t b = 0)
{
    return mix(mix(mix(seed ^ mix(kind)) ^ a) ^ (b * 0x2545f4914f6cdd1dULL));
}

class Rng {
public:
    explicit Rng(uint64_t seed) : m_state(seed) {}
    uint64_t next() { return mix(m_state += 0x9e3779b97f4a7c15ULL); }
    /// 0 .. n-1
    uint32_t below(uint32_t n) { return uint32_t(((next() >> 32) * uint64_t(n)) >> 32); }
    /// lo .. hi inclusive
    int between(int lo, int hi) { return lo + int(below(uint32_t(hi - lo + 1))); }
    double unit() { return double(next() >> 11) * 0x1.0p-53; }
    bool chance(double p) { return unit() < p; }
    template <typename T>
    const T &pick(std::span<const T> items) { return items[below(uint32_t(items.size()))]; }

private:
    uint64_t m_state;
};

enum Stream : uint64_t { kProcessSizes = 1, kProcess, kType, kDocument, kPageSet, kPage, kAgency, kTypePerm, kPageText };

} // namespace gen
