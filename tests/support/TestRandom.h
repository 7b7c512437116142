#pragma once

#include <random>

namespace vxrp_test {

// Reproducible random choices for generated test inputs: a fixed seed gives
// the same sequence on every platform (mt19937 is fully specified, and the
// helpers avoid the library's distributions, whose output is not).
class TestRandom {
  public:
    explicit TestRandom(unsigned seed) : m_Rng(seed) {}

    // A value on a grid of a million steps from lo to hi, both included.
    float Uniform(float lo, float hi) {
        return lo + (hi - lo) * static_cast<float>(m_Rng() % 1000001u) / 1000000.0f;
    }
    // lo..hi, both included.
    int Int(int lo, int hi) {
        return lo + static_cast<int>(m_Rng() % static_cast<unsigned>(hi - lo + 1));
    }
    bool Chance(int percent) { return Int(1, 100) <= percent; }

  protected:
    std::mt19937 m_Rng;
};

}  // namespace vxrp_test
