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
    if (bag_.empty()) {
        if (low > high) std::swap(low, high);
        // A bag beyond a few million numbers is no draw anyone asked for: keep it bounded.
        if (high - low > 10'000'000) high = low + 10'000'000;
        for (int64_t v = low; v <= high; ++v) bag_.push_back(v);
    }
    const size_t k = static_cast<size_t>(RandomInt(1, static_cast<int64_t>(bag_.size())));
    const int64_t v = bag_[k - 1];
    bag_.erase(bag_.begin() + static_cast<std::ptrdiff_t>(k - 1));
    return v;
}

}  // namespace qb::text
