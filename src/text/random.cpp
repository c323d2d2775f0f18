#include "text/random.h"

#include <algorithm>
#include <bit>
#include <chrono>

namespace qb::text {

namespace {
uint64_t g_increment = 0;
// splitmix64: seeding it is one store, where srandom() fills its table and throws 310 draws
// away, and a draw is reseeded before nearly every use (an export names each file by one).
uint64_t g_state = 1;
uint64_t next_random() {
    uint64_t z = (g_state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}
}  // namespace

int64_t RandomInt(int64_t min, int64_t max) {
    if (min < 0) min = 0;
    if (max < 0) max = 0;
    if (min > max) std::swap(min, max);
    const uint64_t span = static_cast<uint64_t>(max - min) + 1;
    // 62 bits cover the ranges a field can ask for, with no bias worth the name.
    const uint64_t r = next_random() >> 2;
    return min + static_cast<int64_t>(span == 0 ? r : r % span);
}

void Reseed() {
    const uint64_t tick =
        static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                  std::chrono::steady_clock::now().time_since_epoch())
                                  .count());
    g_increment += ((tick + g_increment) % 256) + 100;
    g_state = tick + g_increment;
}

int64_t DrawPool::Next(int64_t low, int64_t high) {
    Reseed();
    if (left_ == 0) {
        if (low > high) std::swap(low, high);
        // A bag beyond a few million numbers is no draw anyone asked for: keep it bounded.
        if (high - low > 10'000'000) high = low + 10'000'000;
        low_ = low;
        left_ = static_cast<size_t>(high - low) + 1;
        bits_.assign((left_ + 63) / 64, ~uint64_t{0});
        if (left_ % 64) bits_.back() = (uint64_t{1} << (left_ % 64)) - 1;
        bits_.resize((bits_.size() + kBlockWords - 1) / kBlockWords * kBlockWords, 0);
        const size_t blocks = bits_.size() / kBlockWords;
        tree_.assign(blocks + 1, 0);
        for (size_t b = 1; b <= blocks; ++b) {
            tree_[b] += static_cast<uint32_t>(std::min(kBlockBits, left_ - (b - 1) * kBlockBits));
            const size_t parent = b + (b & (~b + 1));
            if (parent <= blocks) tree_[parent] += tree_[b];
        }
    }
    size_t k = static_cast<size_t>(RandomInt(1, static_cast<int64_t>(left_)));
    // The block holding the k-th number left, and k within it.
    size_t block = 0, step = 1;
    while (step * 2 < tree_.size()) step *= 2;
    for (; step > 0; step /= 2)
        if (block + step < tree_.size() && tree_[block + step] < k) {
            block += step;
            k -= tree_[block];
        }
    for (size_t i = block + 1; i < tree_.size(); i += i & (~i + 1)) --tree_[i];
    // The word, then the bit.
    size_t word = block * kBlockWords;
    for (size_t n; (n = static_cast<size_t>(std::popcount(bits_[word]))) < k; ++word) k -= n;
    uint64_t w = bits_[word];
    for (; k > 1; --k) w &= w - 1;
    const int bit = std::countr_zero(w);
    bits_[word] &= ~(uint64_t{1} << bit);
    --left_;
    return low_ + static_cast<int64_t>(word * 64 + static_cast<size_t>(bit));
}

}  // namespace qb::text
