#pragma once
// One program at a time on a host folder's data: the launcher's call, the
// utility's tasks and the snack manager's moves each hold this lock while
// they change the pets' files. The system releases it when the program
// that holds it ends, however it ends (a named mutex on Windows, a lock
// on a file elsewhere). Taken again by the program that holds it, it is
// counted, not refused.
//
//   DataLockAttempt a = processes.LockData(hostFolder, "lupset.exe", 2000);
//   if (!a.lock.held()) tell(a.holder);   // the program at work, "" if unknown
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace lup {

// A held lock; released when it goes (or is moved from and reset).
class DataLock {
 public:
  DataLock() = default;
  explicit DataLock(std::function<void()> release) : release_(std::move(release)) {}
  ~DataLock() { Reset(); }
  DataLock(DataLock&& other) noexcept : release_(std::move(other.release_)) { other.release_ = nullptr; }
  DataLock& operator=(DataLock&& other) noexcept {
    if (this != &other) {
      Reset();
      release_ = std::move(other.release_);
      other.release_ = nullptr;
    }
    return *this;
  }
  DataLock(const DataLock&) = delete;
  DataLock& operator=(const DataLock&) = delete;

  bool held() const { return static_cast<bool>(release_); }
  void Reset() {
    if (release_) std::exchange(release_, nullptr)();
  }

 private:
  std::function<void()> release_;
};

struct DataLockAttempt {
  DataLock lock;       // held, or empty when another program has the data
  std::string holder;  // then: its file name ("lupina.exe"), "" when unknown
};

// The name the three programs know a host folder's lock by: the folder as
// the file system compares it (letter case, "." and ".." and a separator at
// the end make no difference), hashed into hexadecimal digits.
std::string DataLockKey(const std::filesystem::path& hostFolder);

// The system's lock on the data of `hostFolder` for the program `program`
// (its file name), waiting up to `wait` while another program holds it.
DataLockAttempt LockDataOfSystem(const std::filesystem::path& hostFolder, std::string_view program,
                                 std::chrono::milliseconds wait);

}  // namespace lup
