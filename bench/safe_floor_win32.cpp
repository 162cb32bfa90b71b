// The least any safe replace of the same files costs on Windows, for
// make bench-wine to set the launcher's switch beside (call_bench starts it).
//
//   safe_floor <seconds-file> [<from> <to> ...]
//
// Each <from> is a file or a folder of files; its files replace those of
// <to> (the same names) the safe way and nothing more: each read whole and
// written to a temporary file beside its target, kept open; one barrier
// (every temporary flushed through its handle); each renamed over its
// target through its handle; each target folder's names made durable. No
// listing of the targets, no comparison, no record, no lock: only the
// platform's own calls a safe replace cannot do without. Writes the seconds
// that took and the files written to <seconds-file>, and exits 1 at the
// first failure. With no pairs it writes nothing: its start-up alone.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "platform/osfile.h"

namespace {

namespace fs = std::filesystem;
namespace os = lup::os;

struct Replace {
  fs::path from, to, temporary;
  os::File file;
};

[[noreturn]] void Fail(const char* what, const fs::path& path, const std::error_code& e) {
  std::fprintf(stderr, "safe_floor: %s %ls: %s\n", what, path.c_str(), e.message().c_str());
  std::exit(1);
}

void Copy(Replace& r, std::vector<char>& buffer) {
  os::File in;
  if (std::error_code e = os::OpenRead(r.from, &in)) Fail("open", r.from, e);
  if (std::error_code e = os::CreateNewToRename(r.temporary, &r.file))
    Fail("create", r.temporary, e);
  for (;;) {
    std::size_t got = 0;
    if (std::error_code e = in.Read(buffer.data(), buffer.size(), &got)) Fail("read", r.from, e);
    if (got == 0) break;
    if (std::error_code e = r.file.WriteAll(buffer.data(), got)) Fail("write", r.temporary, e);
  }
  in.Close();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2 || argc % 2 != 0) {
    std::fprintf(stderr, "usage: safe_floor <seconds-file> [<from> <to> ...]\n");
    return 2;
  }
  std::vector<Replace> replaces;
  std::set<fs::path> folders;
  for (int i = 2; i + 1 < argc; i += 2) {
    const fs::path from = argv[i], to = argv[i + 1];
    std::vector<std::pair<fs::path, fs::path>> files;
    if (fs::is_directory(from)) {
      std::vector<os::FolderItem> items;
      if (std::error_code e = os::ListOneFolder(from, &items)) Fail("list", from, e);
      for (const os::FolderItem& item : items)
        if (item.file) files.emplace_back(from / item.name, to / item.name);
    } else {
      files.emplace_back(from, to);
    }
    for (auto& [source, target] : files) {
      fs::path temporary = target;
      temporary += L".floor-tmp";
      folders.insert(target.parent_path());
      replaces.push_back({std::move(source), std::move(target), std::move(temporary), {}});
    }
  }

  const auto begin = std::chrono::steady_clock::now();
  std::vector<char> buffer(1 << 16);
  for (Replace& r : replaces) Copy(r, buffer);
  std::vector<fs::path> temporaries;
  std::vector<os::File*> held;
  for (Replace& r : replaces) {
    temporaries.push_back(r.temporary);
    held.push_back(&r.file);
  }
  fs::path failed;
  if (std::error_code e = os::SyncFiles(temporaries, &failed, held)) Fail("flush", failed, e);
  for (Replace& r : replaces)
    if (std::error_code e =
            os::ReplaceOpenByRename(r.file, r.temporary, r.to, /*syncFolder=*/false))
      Fail("rename", r.temporary, e);
  for (const fs::path& folder : folders)
    if (std::error_code e = os::SyncFolder(folder)) Fail("flush the names of", folder, e);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();

  std::ofstream out{fs::path(argv[1])};
  out << seconds << " " << replaces.size() << "\n";
  return out.good() ? 0 : 1;
}
