#include "text/random.h"

#include <chrono>
#include <cstdlib>

namespace qb::text {

namespace {
uint64_t g_increment = 0;
}

int64_t RandomInt(int64_t min, int64_t max) {
    if (min < 0) min = 0;
    if (max < 0) max = 0;
    if (min > max) std::swap(min, max);
    const uint64_t span = static_cast<uint64_t>(max - min) + 1;
    // rand() gives 31 bits; two of them cover the ranges a field can ask for.
    uint64_t r = (static_cast<uint64_t>(std::rand()) << 31) ^ static_cast<uint64_t>(std::rand());
    return min + static_cast<int64_t>(span == 0 ? r : r % span);
}

void Reseed() {
    const uint64_t tick =
        static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                  std::chrono::steady_clock::now().time_since_epoch())
                                  .count());
    g_increment += ((tick + g_increment) % 256) + 100;
    std::srand(static_cast<unsigned>(tick + g_increment));
}

int64_t DrawPool::Next(int64_t low, int64_t high) {
    Reseed();
    if (left_ == 0) {
        if (low > high) std::swap(low, high);
        // A bag beyond a few million numbers is no draw anyone asked for: keep it bounded.
        if (high - low > 10'000'000) high = low + 10'000'000;
        low_ = low;
        left_ = static_cast<size_t>(high - low) + 1;
        // Every count 1: node i covers the (i & -i) numbers ending at i.
        tree_.assign(left_ + 1, 0);
        for (size_t i = 1; i <= left_; ++i) tree_[i] = static_cast<uint32_t>(i & (~i + 1));
    }
    size_t k = static_cast<size_t>(RandomInt(1, static_cast<int64_t>(left_)));
    // The position of the k-th number left, and every count on its way set one lower.
    size_t at = 0;
    size_t step = 1;
    while (step * 2 < tree_.size()) step *= 2;
    for (; step > 0; step /= 2)
        if (at + step < tree_.size() && tree_[at + step] < k) {
            at += step;
            k -= tree_[at];
        }
    ++at;
    for (size_t i = at; i < tree_.size(); i += i & (~i + 1)) --tree_[i];
    --left_;
    return low_ + static_cast<int64_t>(at) - 1;
}

}  // namespace qb::text
