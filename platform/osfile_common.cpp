// Parts of the raw file layer that are the same on every system.
#include "platform/osfile.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

#include "base/parallel.h"
#include "platform/file_view.h"

namespace lup::os {

File::~File() { Close(); }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    h_ = other.h_;
    other.h_ = kNone;
  }
  return *this;
}

namespace {

HeldFilesSeam& Seam() {
  static HeldFilesSeam seam;
  return seam;
}

}  // namespace

void SetHeldFilesSeam(HeldFilesSeam seam) { Seam() = std::move(seam); }

namespace {

OpenRenameSeam& RenameSeam() {
  static OpenRenameSeam seam;
  return seam;
}

}  // namespace

void SetOpenRenameSeam(OpenRenameSeam seam) { RenameSeam() = std::move(seam); }
const OpenRenameSeam& raw::OpenRenames() { return RenameSeam(); }

std::error_code TryUnlessHeld(const std::filesystem::path& path,
                              const std::function<std::error_code()>& attempt) {
  const HeldFilesSeam& seam = Seam();
  if (seam.holds)
    if (std::error_code held = seam.holds(path)) return held;
  return attempt();
}

std::error_code RetryWhileHeld(const std::filesystem::path& path,
                               const std::function<std::error_code()>& attempt) {
  const HeldFilesSeam& seam = Seam();
  const auto once = [&] {
    if (seam.holds)
      if (std::error_code held = seam.holds(path)) return held;
    return attempt();
  };
  std::error_code e = once();
  int waited = 0;
  for (int step = 10; e && IsHeldError(e, path) && waited < kHeldPatienceMs; step = std::min(step * 2, 500)) {
    const int wait = std::min(step, kHeldPatienceMs - waited);
    if (seam.sleep)
      seam.sleep(wait);
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(wait));
    waited += wait;
    e = once();
  }
  return e;
}

std::error_code ReadWhole(const std::filesystem::path& path, std::string* bytes) {
  bytes->clear();
  File f;
  if (auto e = OpenRead(path, &f)) return e;
  char buffer[65536];
  for (;;) {
    std::size_t got = 0;
    if (auto e = f.Read(buffer, sizeof buffer, &got)) return e;
    if (got == 0) break;
    bytes->append(buffer, got);
  }
  return f.Close();
}

std::error_code ListOneFolder(const std::filesystem::path& folder, std::vector<FolderItem>* items,
                              bool stamps) {
  return view::List(folder, items, stamps);
}

std::error_code MakeOneFolder(const std::filesystem::path& name) {
  std::filesystem::path path;
  if (std::error_code e = view::Resolve(name, view::Use::kMake, &path)) return e;
  return raw::MakeFolder(path);
}

std::error_code RemoveEmptyFolder(const std::filesystem::path& name) {
  std::filesystem::path path;
  if (std::error_code e = view::Resolve(name, view::Use::kRemove, &path)) return e;
  return raw::RemoveFolder(path);
}

// Each file flushed on its own, from a few threads at once so that the
// waits for the disk overlap (and the file system can join them).
std::error_code SyncEachFile(const std::vector<std::filesystem::path>& paths,
                             std::filesystem::path* failed, const std::vector<File*>& held) {
  std::mutex lock;
  std::error_code first;
  std::size_t firstIndex = paths.size();
  ForEachIndexInParallel(paths.size(), [&](std::size_t i) {
    File* open = i < held.size() && held[i] && held[i]->open() ? held[i] : nullptr;
    if (std::error_code e = open ? open->Sync() : SyncOneFile(paths[i])) {
      std::lock_guard<std::mutex> hold(lock);
      if (i < firstIndex) {
        first = e;
        firstIndex = i;
      }
    }
  });
  if (first) *failed = paths[firstIndex];
  return first;
}

}  // namespace lup::os
