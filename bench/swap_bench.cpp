// How long switching pets takes, against a plain copy of the same files.
//
// A host folder holds two pets with realistic data (a friend book, a treasure
// box with treasures, some hundred mails, a handful of snacks). One call puts
// the current pet's data away and brings the other pet's in. The plain copy
// copies the very same files the same way round with std::filesystem and no
// safety at all. Read the two as a ratio: machines here are noisy, the ratio
// much less so.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/fileops.h"
#include "core/fssteps.h"
#include "core/listfiles.h"
#include "core/settings.h"
#include "tests/support/temp_folder.h"
#include "base/text.h"
#include "launcher/call_pet.h"
#include "platform/fake_processes.h"
#include "platform/settings_store.h"
#include "ui/headless/headless_host.h"

namespace fs = std::filesystem;
using lup::U8Path;

namespace {

constexpr int kReceived = 300, kSent = 100, kSnacks = 12, kTreasures = 20;

std::string Bytes(std::size_t n, char seed) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(seed + i * 31);
  return s;
}

void FillItems(const fs::path& d, const std::string& prefix, char seed) {
  using lup::test::WriteBytes;
  WriteBytes(d / U8Path(prefix + "PostPet設定.ppc"), Bytes(2048, seed));
  WriteBytes(d / U8Path(prefix + "おともだち帳"), Bytes(20000, seed));
  const std::pair<const char*, int> folders[] = {
      {"受信フォルダ", kReceived}, {"送信フォルダ", kSent}, {"おやつ", kSnacks}, {"宝物", kTreasures}};
  for (const auto& [name, count] : folders) {
    fs::path folder = d / U8Path(prefix + name);
    fs::create_directories(folder);
    for (int i = 0; i < count; ++i)
      WriteBytes(folder / U8Path("f" + std::to_string(i) + ".dat"), Bytes(2000 + (i % 7) * 500, seed));
  }
  WriteBytes(d / U8Path(prefix + "宝物") / "tzl001.pac", Bytes(4000, seed));
}

struct Installation {
  lup::test::TempFolder temp;
  fs::path d = temp.path() / "host";
  Installation() {
    fs::create_directories(d / U8Path("共有"));
    FillItems(d, "", 'h');
    FillItems(d, "ミミ_", 'a');
    FillItems(d, "ソラ_", 'b');
    lup::WriteCurrentPet(d, "ミミ");
  }
};

void BM_CallPet(benchmark::State& state) {
  Installation inst;
  lup::MemorySettingsStore store;
  store.Set("pp_dir", lup::PathText(inst.d));
  lup::Settings settings = lup::LoadSettings(store, inst.temp.path()).settings;
  lup::FakeProcesses processes;
  int called = 1;
  for (auto _ : state) {
    lup::ui::headless::HeadlessHost host;
    lup::CallPetContext ctx{settings, store, host, nullptr, processes,
                            {{"ミミ", {}}, {"ソラ", {}}}, called};
    if (lup::CallPet(ctx) != lup::CallOutcome::HostStarted) state.SkipWithError("call failed");
    called = 1 - called;
  }
}

// The same files copied the same way round, with nothing but copy_file.
void BM_PlainCopy(benchmark::State& state) {
  Installation inst;
  const char* items[] = {"受信フォルダ", "送信フォルダ", "おやつ", "宝物"};
  std::string pets[] = {"ミミ_", "ソラ_"};
  int called = 1;
  for (auto _ : state) {
    const std::string& away = pets[1 - called];
    const std::string& in = pets[called];
    auto copyFolder = [](const fs::path& from, const fs::path& to) {
      for (const auto& e : fs::directory_iterator(from))
        if (e.is_regular_file())
          fs::copy_file(e.path(), to / e.path().filename(), fs::copy_options::overwrite_existing);
    };
    for (const char* f : {"PostPet設定.ppc", "おともだち帳"})
      fs::copy_file(inst.d / U8Path(f), inst.d / U8Path(away + f), fs::copy_options::overwrite_existing);
    for (const char* item : items) copyFolder(inst.d / U8Path(item), inst.d / U8Path(away + item));
    for (const char* f : {"PostPet設定.ppc", "おともだち帳"})
      fs::copy_file(inst.d / U8Path(in + f), inst.d / U8Path(f), fs::copy_options::overwrite_existing);
    for (const char* item : items) copyFolder(inst.d / U8Path(in + item), inst.d / U8Path(item));
    called = 1 - called;
  }
}

// One folder of mails through the funnel (atomic, flushed) and plainly.
void BM_FolderCopyFunnel(benchmark::State& state) {
  Installation inst;
  fs::path from = inst.d / U8Path("受信フォルダ"), to = inst.d / "copy";
  for (auto _ : state) lup::ShellFileOp(from / "*.*", to, lup::ShellOp::Copy);
}
void BM_FolderCopyPlain(benchmark::State& state) {
  Installation inst;
  fs::path from = inst.d / U8Path("受信フォルダ"), to = inst.d / "copy";
  fs::create_directories(to);
  for (auto _ : state)
    for (const auto& e : fs::directory_iterator(from))
      fs::copy_file(e.path(), to / e.path().filename(), fs::copy_options::overwrite_existing);
}

}  // namespace

BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_CallPet)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_FolderCopyPlain)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_FolderCopyFunnel)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK_MAIN();
