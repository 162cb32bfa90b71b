// The data lock elsewhere: an exclusive lock on a file in the temporary
// folder, which the system drops when the process holding it ends; the file
// holds the name of the program that took it last.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "base/text.h"
#include "platform/data_lock_native.h"

namespace lup::native {
namespace {

std::filesystem::path LockFile(const std::string& key) {
  std::error_code ec;
  std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
  if (ec) folder = "/tmp";
  return folder / U8Path("lup-data-" + key + "-" + std::to_string(static_cast<unsigned long>(getuid())) + ".lock");
}

}  // namespace

bool Acquire(const std::string& key, std::string_view program, std::chrono::milliseconds wait,
             Lock* lock, std::string* holder) {
  const std::string path = PathText(LockFile(key));
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const auto end = std::chrono::steady_clock::now() + wait;
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (std::chrono::steady_clock::now() >= end) {
      char buffer[256];
      const ssize_t got = pread(fd, buffer, sizeof buffer, 0);
      if (got > 0) holder->assign(buffer, static_cast<std::size_t>(got));
      close(fd);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (ftruncate(fd, 0) == 0) {
    const ssize_t ignored = pwrite(fd, program.data(), program.size(), 0);
    (void)ignored;
  }
  lock->handle = fd + 1;  // 0 stands for "nothing held"
  return true;
}

void Release(const Lock& lock) {
  if (lock.handle != 0) close(static_cast<int>(lock.handle - 1));
}

}  // namespace lup::native
