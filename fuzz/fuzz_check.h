#pragma once
// What every fuzz target needs: a check that stops the run with the broken
// property (libFuzzer then keeps the input as a crash), and the input as text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#define FUZZ_CHECK(cond)                                                         \
  do {                                                                           \
    if (!(cond)) {                                                               \
      std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__,   \
                   #cond);                                                       \
      std::abort();                                                              \
    }                                                                            \
  } while (0)

namespace lup::fuzz {

inline std::string_view Bytes(const std::uint8_t* data, std::size_t size) {
  return std::string_view(reinterpret_cast<const char*>(data), size);
}

}  // namespace lup::fuzz
