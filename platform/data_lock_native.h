#pragma once
// The system's own part of the data lock (data_lock.h), one implementation a
// system: data_lock_win32.cpp, portable/data_lock_posix.cpp.
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace lup::native {

// What the system holds for a taken lock.
struct Lock {
  std::intptr_t handle = 0;
  std::intptr_t marker = 0;  // says which program holds it, where the system needs that
};

// Takes the lock named `key` for `program`, waiting up to `wait` while
// another process holds it. False when it stays taken: `holder` then names
// the program holding it, when that can be told.
bool Acquire(const std::string& key, std::string_view program, std::chrono::milliseconds wait,
             Lock* lock, std::string* holder);
void Release(const Lock& lock);

}  // namespace lup::native
