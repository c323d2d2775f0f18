// The program's one random rule and the draw without repetition.
#pragma once

#include <cstdint>
#include <vector>

namespace qb::text {

// min + r mod (max - min + 1): negative bounds count as 0, reversed bounds are swapped.
int64_t RandomInt(int64_t min, int64_t max);
// Seeds the generator from the millisecond clock plus an increment that grows on every
// reseed, so two reseeds in the same millisecond differ.
void Reseed();

// A bag of integers: over (high - low + 1) successive draws every number comes exactly once.
class DrawPool {
  public:
    int64_t Next(int64_t low, int64_t high);
    void Clear() { bag_.clear(); }
    bool empty() const { return bag_.empty(); }

  private:
    std::vector<int64_t> bag_;
};

}  // namespace qb::text
