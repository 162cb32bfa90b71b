#pragma once
// Work spread over a few threads: each index 0..count-1 is handed to `work`
// once, by whichever thread is free, so that the waits of one item (for the
// disk, for the system's answer) overlap with the work of the others. A few
// items stay on the calling thread; where no thread can be started, the
// calling thread does it all.
#include <atomic>
#include <cstddef>
#include <system_error>
#include <thread>
#include <vector>

namespace lup {

inline constexpr std::size_t kParallelFrom = 16;  // fewer items: the calling thread alone
inline constexpr std::size_t kParallelThreads = 4;

template <typename Work>
void ForEachIndexInParallel(std::size_t count, Work&& work) {
  std::atomic<std::size_t> next{0};
  auto run = [&] {
    for (std::size_t i = next++; i < count; i = next++) work(i);
  };
  std::vector<std::thread> helpers;
  if (count >= kParallelFrom) {
    try {
      for (std::size_t t = 1; t < kParallelThreads; ++t) helpers.emplace_back(run);
    } catch (const std::system_error&) {
      // fewer helpers, or none: the rest is done here
    }
  }
  run();
  for (std::thread& t : helpers) t.join();
}

}  // namespace lup
