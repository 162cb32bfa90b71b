// What the users wait for, against a plain copy of the same files.
//
// Every scenario runs at three sizes (about 100, 1,000 and 10,000 files) and
// is timed beside a plain std::filesystem copy of the very same files, made
// in the same run on the same disk with no safety at all. Read the two as a
// ratio: machines here are noisy, the ratio much less so. The last lines are
// one summary table, `name  size  ours  plain  ratio` (milliseconds, the
// median of a few runs each), and how the time per item grows from the
// smallest size to the largest.
//
//   swap_bench [--quick]    --quick: the two smaller sizes only
//   LUP_BENCH_ONLY=text     only the scenarios whose name holds the text
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

#include "base/text.h"
#include "core/fileops.h"
#include "core/fssteps.h"
#include "core/listfiles.h"
#include "core/backup_history.h"
#include "core/petstore.h"
#include "core/settings.h"
#include "platform/osfile.h"
#include "launcher/call_pet.h"
#include "launcher/launcher_fixture.h"
#include "platform/fake_processes.h"
#include "platform/settings_store.h"
#include "snacks/snack_test_files.h"
#include "snacks/snack_window.h"
#include "tests/support/host_folder.h"
#include "tests/support/temp_folder.h"
#include "ui/headless/headless_host.h"

namespace fs = std::filesystem;
using lup::U8Path;
using Clock = std::chrono::steady_clock;

namespace {

std::string Bytes(std::size_t n, char seed) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(seed + i * 31);
  return s;
}

void Write(const fs::path& file, const std::string& bytes) { lup::test::WriteBytes(file, bytes); }

const char* const kFolderItems[] = {"受信フォルダ", "送信フォルダ", "おやつ", "宝物"};
const char* const kFileItems[] = {"PostPet設定.ppc", "おともだち帳"};

// About `files` files of one pet's (or the host's) data under `prefix`: the
// settings file, a friend book, and mails, snacks and treasures in the
// shares a real pet has them (received mail the most).
void FillItems(const fs::path& d, const std::string& prefix, int files, char seed) {
  Write(d / U8Path(prefix + kFileItems[0]), Bytes(2048, seed));
  Write(d / U8Path(prefix + kFileItems[1]), Bytes(20000, seed));
  const int rest = std::max(files - 3, 4);
  const int counts[] = {rest * 60 / 100, rest * 25 / 100, rest * 10 / 100,
                        rest - rest * 60 / 100 - rest * 25 / 100 - rest * 10 / 100};
  for (int k = 0; k < 4; ++k) {
    const fs::path folder = d / U8Path(prefix + kFolderItems[k]);
    fs::create_directories(folder);
    for (int i = 0; i < counts[k]; ++i)
      Write(folder / U8Path("f" + std::to_string(i) + ".dat"), Bytes(2000 + (i % 7) * 500, seed));
  }
  Write(d / U8Path(prefix + "宝物") / "tzl001.pac", Bytes(4000, seed));
}

// Every file of the items under `prefix`, as paths relative to D.
std::vector<fs::path> ItemFiles(const fs::path& d, const std::string& prefix) {
  std::vector<fs::path> out;
  for (const char* f : kFileItems) out.push_back(U8Path(prefix + f));
  for (const char* item : kFolderItems)
    for (const auto& e : fs::directory_iterator(d / U8Path(prefix + item)))
      if (e.is_regular_file()) out.push_back(U8Path(prefix + item) / e.path().filename());
  return out;
}

// The plain copy: copy_file of every file of `from` items over `to` items.
void PlainItems(const fs::path& d, const std::string& from, const std::string& to) {
  for (const char* f : kFileItems)
    fs::copy_file(d / U8Path(from + f), d / U8Path(to + f), fs::copy_options::overwrite_existing);
  for (const char* item : kFolderItems) {
    const fs::path target = d / U8Path(to + item);
    fs::create_directories(target);
    for (const auto& e : fs::directory_iterator(d / U8Path(from + item)))
      if (e.is_regular_file())
        fs::copy_file(e.path(), target / e.path().filename(), fs::copy_options::overwrite_existing);
  }
}

void PlainFolder(const fs::path& from, const fs::path& to) {
  fs::create_directories(to);
  for (const auto& e : fs::directory_iterator(from))
    if (e.is_regular_file())
      fs::copy_file(e.path(), to / e.path().filename(), fs::copy_options::overwrite_existing);
}

// Changes every byte-pattern of the host's items (not timed).
void ChangeHost(const fs::path& d, char seed) {
  for (const fs::path& f : ItemFiles(d, "")) {
    const std::uintmax_t n = fs::file_size(d / f);
    Write(d / f, Bytes(static_cast<std::size_t>(n), seed));
  }
}

struct Row {
  std::string name;
  int size;
  double ours, plain;
};
std::vector<Row> g_rows;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Runs `prepare` (not timed) then `ours` or `plain` (timed), alternating,
// `reps` times each, and records the medians.
void Measure(const std::string& name, int size, int reps, const std::function<void(bool)>& prepare,
             const std::function<void()>& ours, const std::function<void()>& plain) {
  const char* only = std::getenv("LUP_BENCH_ONLY");
  if (only && name.find(only) == std::string::npos) return;
  std::vector<double> a, b;
  for (int r = 0; r < reps; ++r)
    for (bool mine : {true, false}) {
      prepare(mine);
      ::sync();  // neither side pays for what the other left to write
      const auto t0 = Clock::now();
      mine ? ours() : plain();
      (mine ? a : b).push_back(Ms(Clock::now() - t0));
    }
  Row row{name, size, Median(a), Median(b)};
  std::printf("%-28s %6d  %9.1f  %9.1f  %6.2f\n", row.name.c_str(), row.size, row.ours, row.plain,
              row.ours / row.plain);
  std::fflush(stdout);
  g_rows.push_back(row);
}

int Reps(int size) { return size >= 10000 ? 3 : 5; }
// The start-up and the grid take milliseconds: more runs steady the median.
int CheapReps(int size) { return size >= 3000 ? 7 : 15; }

// ---- switching pets ---------------------------------------------------------------

struct TwoPets {
  lup::test::TempFolder temp;
  fs::path d = temp.path() / "host";
  lup::MemorySettingsStore store;
  lup::FakeProcesses processes;
  lup::Settings settings;
  int called = 1;  // the next call brings in pets[called]
  const std::vector<lup::Pet> pets{{"ミミ", {}}, {"ソラ", {}}};

  explicit TwoPets(int files) {
    fs::create_directories(d / U8Path("共有"));
    Write(d / "PostPet20.exe", "host");
    FillItems(d, "ミミ_", files, 'a');
    FillItems(d, "ソラ_", files, 'b');
    FillItems(d, "", files, 'a');  // the host holds ミミ's data, unchanged
    (void)lup::WriteCurrentPet(d, "ミミ");
    store.Set("pp_dir", lup::PathText(d));
    settings = lup::LoadSettings(store, temp.path()).settings;
  }
  std::string Prefix(int i) const { return pets[static_cast<std::size_t>(i)].name + "_"; }
  void Call() {
    lup::ui::headless::HeadlessHost host;
    lup::FileOps ops(/*keepJournal=*/false);  // as the programs run it
    lup::ScopedFileOps scope(ops);
    lup::CallPetContext ctx{settings, store, host, nullptr, processes, pets, called};
    if (lup::CallPet(ctx) != lup::CallOutcome::HostStarted) {
      std::fprintf(stderr, "the call failed\n");
      std::exit(1);
    }
    called = 1 - called;
  }
  // The same files the same way round: the host's away, the other pet's in.
  void Plain() {
    PlainItems(d, "", Prefix(1 - called));
    PlainItems(d, Prefix(called), "");
    called = 1 - called;
  }
};

void Switching(int size) {
  // `size` files copied by a plain switch: half put away, half brought in.
  // The plain copy works on an installation of its own.
  TwoPets unchanged(size / 2), unchangedPlain(size / 2);
  Measure("switch, host unchanged", size, Reps(size), [](bool) {},
          [&] { unchanged.Call(); }, [&] { unchangedPlain.Plain(); });
  TwoPets changed(size / 2), changedPlain(size / 2);
  char seed = 'c';
  Measure("switch, every file changed", size, Reps(size),
          [&](bool mine) { ChangeHost((mine ? changed : changedPlain).d, ++seed); },
          [&] { changed.Call(); }, [&] { changedPlain.Plain(); });
}

// The call's put-away alone, of a pet whose host data is unchanged since she
// was last called (her files and the host's were recorded alike then): only
// the two folders' listings, no file opened. Against the plain in-place copy
// of the same files.
void PutAwayUnchanged(int size) {
  TwoPets pets(size), plain(size);
  const lup::PetStore store(pets.settings);
  const auto putAway = [&] {
    lup::FileOps ops(/*keepJournal=*/false);  // as the programs run it
    lup::ScopedFileOps scope(ops);
    if (!store.PutAway("ミミ", lup::ShareFlags{}).ok()) {
      std::fprintf(stderr, "the put-away failed\n");
      std::exit(1);
    }
  };
  putAway();  // the first one compares every file and records them
  Measure("put-away, host unchanged", size, Reps(size), [](bool) {}, putAway,
          [&] { PlainItems(plain.d, "", "ミミ_"); });
  // The same without the record: every file compared byte by byte (and the
  // folders recorded again), as before records were kept.
  Measure("put-away, no record", size, Reps(size),
          [&](bool mine) {
            if (mine) fs::remove_all(pets.d / U8Path(lup::kSameFilesFolderName));
          },
          putAway, [&] { PlainItems(plain.d, "", "ミミ_"); });
}

// ---- the least a safe replace costs ---------------------------------------------------

// A file is replaced whole, old or new whatever happens, only by writing a
// temporary beside it and renaming that over it. This does only that, with
// no comparison, no flush and no journal, beside the plain copy overwriting
// the same files in place: its ratio is the floor under "every file changed"
// (and, for the half it writes, under "host unchanged") on this disk.
// `size` mails in `from`, older ones of the same names in `to` and `toPlain`.
struct FloorFolders {
  explicit FloorFolders(int size) {
    for (const fs::path& folder : {from, to, toPlain}) fs::create_directories(folder);
    for (int i = 0; i < size; ++i) {
      const std::string name = std::to_string(i) + ".mail";
      const std::size_t n = 2000 + (i % 7) * 500;
      Write(from / name, Bytes(n, 'm'));
      Write(to / name, Bytes(n, 'n'));
      Write(toPlain / name, Bytes(n, 'n'));
    }
  }
  lup::test::TempFolder temp;
  const fs::path from = temp.path() / "from", to = temp.path() / "to", toPlain = temp.path() / "plain";
};

void ReplaceFloor(int size) {
  const FloorFolders f(size);
  const fs::path &from = f.from, &to = f.to, &toPlain = f.toPlain;
  Measure("floor: temp file + rename", size, Reps(size), [](bool) {},
          [&] {
            for (const auto& e : fs::directory_iterator(from)) {
              const fs::path target = to / e.path().filename();
              fs::path temporary = target;
              temporary += ".tmp";
              fs::copy_file(e.path(), temporary);
              fs::rename(temporary, target);
            }
          },
          [&] { PlainFolder(from, toPlain); });
}

// The least any safe replace of every file costs: each file written to a
// temporary beside its target, one barrier that makes them all durable,
// each renamed over its target, one barrier that makes the names durable.
// Timed on its own ("safe floor") and in turn with a switch ("switch vs safe
// floor", below).
void SafeReplace(const FloorFolders& f) {
  std::vector<std::pair<fs::path, fs::path>> renames;
  std::vector<fs::path> temporaries;
  for (const auto& e : fs::directory_iterator(f.from)) {
    const fs::path target = f.to / e.path().filename();
    fs::path temporary = target;
    temporary += ".tmp";
    fs::copy_file(e.path(), temporary);
    renames.emplace_back(temporary, target);
    temporaries.push_back(temporary);
  }
  fs::path failed;
  if (lup::os::SyncFiles(temporaries, &failed)) std::exit(1);
  for (const auto& [temporary, target] : renames) fs::rename(temporary, target);
  if (lup::os::SyncFolder(f.to)) std::exit(1);
}

void SafeFloor(int size) {
  const FloorFolders f(size);
  Measure("safe floor", size, Reps(size), [](bool) {}, [&] { SafeReplace(f); },
          [&] { PlainFolder(f.from, f.toPlain); });
}

// A switch where every file changed against the safe floor of as many
// files, one after the other in turn: a disk whose flushes take three times
// longer from one minute to the next shows in both sides alike. Its ratio
// is what the call adds to the least any safe replace must do.
void SwitchAgainstSafeFloor(int size) {
  TwoPets changed(size / 2);
  const FloorFolders f(size);
  char seed = 'c';
  Measure("switch vs safe floor", size, Reps(size),
          [&](bool mine) {
            if (mine) ChangeHost(changed.d, ++seed);
          },
          [&] { changed.Call(); }, [&] { SafeReplace(f); });
}

// ---- one folder of mails ------------------------------------------------------------

void FolderCopy(int size) {
  lup::test::TempFolder temp;
  const fs::path from = temp.path() / "受信フォルダ", to = temp.path() / "copy";
  fs::create_directories(from);
  for (int i = 0; i < size; ++i)
    Write(from / ("m" + std::to_string(i) + ".mail"), Bytes(2000 + (i % 7) * 500, 'm'));
  Measure("copy one folder of mails", size, Reps(size), [&](bool) { fs::remove_all(to); },
          [&] { lup::ShellFileOp(from / "*.*", to, lup::ShellOp::Copy); },
          [&] { PlainFolder(from, to); });
}

// ---- the backup of 20 pets ------------------------------------------------------------

void Backup(int size) {
  lup::test::HostFolder hf;
  constexpr int kPets = 20;
  const int each = std::max(size / (kPets + 1), 8);  // 20 pets and the host copies
  std::vector<std::string> prefixes{""};
  for (int p = 0; p < kPets; ++p) prefixes.push_back("p" + std::to_string(p) + "_");
  for (const std::string& prefix : prefixes) FillItems(hf.D(), prefix, each, 'a' + prefixes.size());
  const lup::ItemChoice all = lup::kEverything;
  const lup::Settings settings = lup::LoadSettings(hf.store, hf.Programs()).settings;
  const lup::PetStore store(settings);
  const fs::path bak = hf.D() / "bak";
  const fs::path plainBak = hf.D() / "plainbak";
  auto plain = [&] {
    for (const std::string& prefix : prefixes) {
      const std::string to = prefix.empty() ? "" : prefix;
      for (const char* f : kFileItems)
        if (!(prefix.empty() && f == kFileItems[0]))
          fs::copy_file(hf.D() / U8Path(prefix + f), plainBak / U8Path(to + f + std::string(".bak")),
                        fs::copy_options::overwrite_existing);
      for (const char* item : kFolderItems)
        PlainFolder(hf.D() / U8Path(prefix + item), plainBak / U8Path(to + item));
    }
  };
  const int files = static_cast<int>(prefixes.size()) * (std::max(each - 3, 4) + 3);
  Measure("backup of 20 pets, first", files, Reps(size),
          [&](bool) {
            fs::remove_all(bak);
            fs::remove_all(hf.D() / lup::U8Path(lup::kHistoryFolderName));  // a first backup keeps none
            fs::remove_all(plainBak);
            fs::create_directories(plainBak);
          },
          [&] { store.BackUp(all); }, plain);
  Measure("backup of 20 pets, again", files, Reps(size), [](bool) {}, [&] { store.BackUp(all); },
          plain);
}

// ---- the launcher's start-up ------------------------------------------------------------

void StartUp(int pets) {
  lup::test::LauncherFolder hf;
  for (int p = 0; p < pets; ++p) hf.AddPet("pet" + std::to_string(p), Bytes(2048, 'p'));
  hf.Put("おともだち帳", "friends");
  auto start = [&] {
    lup::ui::headless::HeadlessHost host;
    auto launcher = hf.MakeLauncher(host);
    if (launcher->Start("") != lup::StartOutcome::Shown ||
        launcher->pets().size() != static_cast<std::size_t>(pets)) {
      std::fprintf(stderr, "the launcher did not list the pets\n");
      std::exit(1);
    }
  };
  start();  // the first start writes the list files
  const fs::path copy = hf.D() / "plaincopy";
  auto plain = [&] {
    fs::create_directories(copy);
    for (const auto& e : fs::directory_iterator(hf.D()))
      if (e.is_regular_file())
        fs::copy_file(e.path(), copy / e.path().filename(), fs::copy_options::overwrite_existing);
  };
  Measure("launcher start-up (pets)", pets, CheapReps(pets), [&](bool) { fs::remove_all(copy); }, start,
          plain);
}

// ---- the snack manager's grid --------------------------------------------------------------

void SnackGrid(int snacks) {
  lup::test::HostFolder hf;
  const fs::path folder = hf.D() / U8Path("a_おやつ");
  fs::create_directories(folder);
  for (int i = 0; i < snacks; ++i) {
    lup::snacks::test::SnackSpec spec;
    spec.name = "おかし" + std::to_string(i);
    lup::snacks::test::PutSnack(folder / (std::to_string(i) + ".pac"), spec);
  }
  auto open = [&] {
    lup::ui::headless::HeadlessHost host;
    lup::snacks::SnackWindow window(
        host, lup::snacks::SnackEnv{hf.store, hf.processes, hf.Programs(), {1, 6, 4}});
    host.Show(window.form());
    if (window.form().Get<lup::ui::Grid>("Grid1").Rows() != snacks + 1) {
      std::fprintf(stderr, "the grid does not show the snacks\n");
      std::exit(1);
    }
  };
  const fs::path copy = hf.D() / "plaincopy";
  Measure("snack grid (files)", snacks, CheapReps(snacks), [&](bool) { fs::remove_all(copy); }, open,
          [&] { PlainFolder(folder, copy); });
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  const std::vector<int> sizes = quick ? std::vector<int>{100, 1000} : std::vector<int>{100, 1000, 10000};
  const std::vector<int> snackSizes = quick ? std::vector<int>{30, 300} : std::vector<int>{30, 300, 3000};
  std::printf("%-28s %6s  %9s  %9s  %6s\n", "name", "size", "ours", "plain", "ratio");
  for (int size : sizes) {
    Switching(size);
    PutAwayUnchanged(size);
    ReplaceFloor(size);  // right after, on the disk the switches left
    SafeFloor(size);
    SwitchAgainstSafeFloor(size);
  }
  for (int size : sizes) {
    FolderCopy(size);
    if (size == 100) FolderCopy(300);  // the folder of 300 mails the target names
  }
  for (int size : sizes) Backup(size);
  for (int size : sizes) StartUp(size);
  for (int size : snackSizes) SnackGrid(size);

  std::printf("\nSummary (milliseconds, median of %d runs, %d at 10,000; start-up and grid %d, %d at the largest)\n\n",
              Reps(100), Reps(10000), CheapReps(100), CheapReps(10000));
  std::printf("%-28s %6s  %9s  %9s  %6s\n", "name", "size", "ours", "plain", "ratio");
  for (const Row& r : g_rows)
    std::printf("%-28s %6d  %9.1f  %9.1f  %6.2f\n", r.name.c_str(), r.size, r.ours, r.plain,
                r.ours / r.plain);
  std::printf("\nAgainst the safe floor (a switch, every file changed / the safe floor, in turn)\n\n");
  for (const Row& r : g_rows)
    if (r.name == "switch vs safe floor")
      std::printf("%-28s %6d  %9.1f  %9.1f  %6.2f\n", r.name.c_str(), r.size, r.ours, r.plain,
                  r.ours / r.plain);
  std::printf("\nGrowth (time per item at the largest size / at the smallest)\n\n");
  for (std::size_t i = 0; i < g_rows.size(); ++i) {
    const Row& first = g_rows[i];
    std::size_t last = i;
    for (std::size_t j = i + 1; j < g_rows.size(); ++j)
      if (g_rows[j].name == first.name) last = j;
    bool seen = false;
    for (std::size_t j = 0; j < i; ++j) seen = seen || g_rows[j].name == first.name;
    if (seen || last == i) continue;
    const Row& big = g_rows[last];
    std::printf("%-28s %6d -> %-6d  %6.2f\n", first.name.c_str(), first.size, big.size,
                (big.ours / big.size) / (first.ours / first.size));
  }
  return 0;
}
