#pragma once
// Helpers for the platform tests: waiting for a condition and the helper
// program beside the tests.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>
#include <thread>

#include "base/text.h"
#include "tests/support/temp_folder.h"
#include "platform/program.h"

namespace lup::testing {

using test::ReadBytes;
using test::TempFolder;
using test::WriteBytes;


// Polls `done` until it holds or `limit` has passed; true when it held.
inline bool WaitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// The helper program built beside the tests (test_sleeper.cpp).
inline std::filesystem::path SleeperPath() { return ProgramFolder() / U8Path(LUP_TEST_SLEEPER_NAME); }

// `name` with the helper program's extension (".exe" on Windows).
inline std::filesystem::path WithProgramExtension(std::string_view name) {
  return U8Path(std::string(name) + PathText(SleeperPath().extension()));
}

// A path quoted for an argument text.
inline std::string Quoted(const std::filesystem::path& p) {
  std::string text(1, '"');
  text += PathText(p);
  text += '"';
  return text;
}

}  // namespace lup::testing
