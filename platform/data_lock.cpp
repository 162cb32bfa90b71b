// The parts of the data lock that are the same on every system: the key,
// and the count that lets the program holding the lock take it again.
#include "platform/data_lock.h"

#include <map>
#include <mutex>

#include "base/text.h"
#include "base/unicode.h"
#include "platform/data_lock_native.h"

namespace lup {
namespace fs = std::filesystem;

std::string DataLockKey(const fs::path& hostFolder) {
  std::string text = PathText(hostFolder.lexically_normal());
  while (text.size() > 1 && (text.back() == '\\' || text.back() == '/')) text.pop_back();
  for (char& c : text)
    if (c == '/') c = '\\';
  // FNV-1a over the upper-cased UTF-16 units.
  std::uint64_t hash = 14695981039346656037ull;
  for (char16_t unit : UpcasedUtf16(text)) {
    hash ^= static_cast<std::uint64_t>(unit);
    hash *= 1099511628211ull;
  }
  static const char kHex[] = "0123456789abcdef";
  std::string key;
  for (int i = 15; i >= 0; --i) key.push_back(kHex[(hash >> (i * 4)) & 15]);
  return key;
}

namespace {

struct Held {
  int count = 0;
  native::Lock lock;
};

// Never destroyed: a lock still held when the program ends (a static of
// its own) is let go after every other static has gone.
std::mutex& Mutex() {
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}
std::map<std::string, Held>& HeldLocks() {
  static auto* held = new std::map<std::string, Held>;
  return *held;
}

// One hold of `key` less; the system's lock goes with the last.
void Unhold(const std::string& key) {
  std::lock_guard<std::mutex> guard(Mutex());
  auto it = HeldLocks().find(key);
  if (it != HeldLocks().end() && --it->second.count == 0) {
    native::Release(it->second.lock);
    HeldLocks().erase(it);
  }
}

}  // namespace

DataLockAttempt LockDataOfSystem(const fs::path& hostFolder, std::string_view program,
                                 std::chrono::milliseconds wait) {
  const std::string key = DataLockKey(hostFolder);
  DataLockAttempt out;
  std::unique_lock<std::mutex> guard(Mutex());
  auto found = HeldLocks().find(key);
  if (found != HeldLocks().end()) {
    ++found->second.count;
  } else {
    guard.unlock();
    native::Lock lock;
    if (!native::Acquire(key, program, wait, &lock, &out.holder)) return out;
    guard.lock();
    HeldLocks()[key] = Held{1, lock};
  }
  out.lock = DataLock([key] { Unhold(key); });
  return out;
}

}  // namespace lup
