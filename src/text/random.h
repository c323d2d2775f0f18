// The program's one random rule and the draw without repetition.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qb::text {

// min + r mod (max - min + 1): negative bounds count as 0, reversed bounds are swapped.
int64_t RandomInt(int64_t min, int64_t max);
// Seeds the generator from the millisecond clock plus an increment that grows on every
// reseed, so two reseeds in the same millisecond differ.
void Reseed();

// A bag of integers: over (high - low + 1) successive draws every number comes exactly once.
// Each draw takes the k-th of the numbers left in ascending order (k random). The numbers
// left are bits, in blocks of 512 (one cache line each), with a Fenwick tree of the blocks'
// counts: a draw costs a walk down a small tree and one block, not a shift of the rest.
class DrawPool {
  public:
    int64_t Next(int64_t low, int64_t high);
    void Clear() { left_ = 0; }
    bool empty() const { return left_ == 0; }

  private:
    static constexpr size_t kBlockWords = 8, kBlockBits = 64 * kBlockWords;
    int64_t low_ = 0;
    size_t left_ = 0;
    std::vector<uint64_t> bits_;  // bit i: low_ + i is still in the bag
    std::vector<uint32_t> tree_;  // 1-based Fenwick tree over the blocks' counts
};

}  // namespace qb::text
