#include "base/parallel.h"

#include <gtest/gtest.h>

#include <mutex>
#include <set>

namespace lup {
namespace {

// Each index is handed over exactly once, whatever the number of items and
// of threads asked for; no more threads work than were asked for or than
// there are items, and a few items stay on the calling thread.
TEST(ForEachIndexInParallel, HandsEachIndexOverOnceFromNoMoreThreadsThanAsked) {
  for (const std::size_t count : {0u, 1u, 15u, 16u, 17u, 1000u}) {
    for (const std::size_t threads : {1u, 4u, 16u, 64u}) {
      std::vector<std::atomic<int>> seen(count);
      std::mutex lock;
      std::set<std::thread::id> workers;
      ForEachIndexInParallel(
          count,
          [&](std::size_t i) {
            seen[i]++;
            std::lock_guard<std::mutex> hold(lock);
            workers.insert(std::this_thread::get_id());
          },
          threads);
      for (std::size_t i = 0; i < count; ++i) EXPECT_EQ(seen[i].load(), 1) << count << " " << threads << " " << i;
      EXPECT_LE(workers.size(), std::max<std::size_t>(1, std::min(threads, count)));
      if (count < kParallelFrom && count > 0) {
        EXPECT_EQ(workers.size(), 1u);
        EXPECT_EQ(*workers.begin(), std::this_thread::get_id());
      }
    }
  }
}

}  // namespace
}  // namespace lup
