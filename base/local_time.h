#pragma once
// The local time now, broken down (the snack manager's today, the backup
// history's time stamps).
#include <ctime>

namespace lup {

inline std::tm LocalTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  return local;
}

}  // namespace lup
