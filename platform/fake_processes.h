#pragma once
// A ProcessSystem for tests: no program is ever started. The test says which
// processes run, and reads back what was started; `onStart` stands for the
// started program's work (a host that writes its files, for instance).
#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/process.h"

namespace lup {

class FakeProcesses final : public ProcessSystem {
 public:
  // What RunningNames reports.
  std::vector<std::string> running;
  // Every request given to Start, in order, including those that failed.
  std::vector<StartRequest> started;
  // When set, Start fails with this text (error number 2, "file not found").
  std::optional<std::string> failStart;
  // Runs inside a successful Start, as the started program would.
  std::function<void(const StartRequest&)> onStart;
  // The exit code that Wait reports.
  std::uint32_t exitCode = 0;
  // How many times Wait was called, and how often it called the pump.
  int waits = 0;
  int pumps = 0;

  std::vector<std::string> RunningNames() override { return running; }

  StartResult Start(const StartRequest& request) override {
    started.push_back(request);
    StartResult result;
    if (failStart) {
      result.errorCode = 2;
      result.errorText = *failStart;
      return result;
    }
    if (onStart) onStart(request);
    result.ok = true;
    return result;
  }

  // Calls the pump once, as a real wait does at least when events wait.
  std::optional<std::uint32_t> Wait(ProcessHandle&, const std::function<void()>& pump) override {
    ++waits;
    if (pump) {
      ++pumps;
      pump();
    }
    return exitCode;
  }

  // The program that holds the host folder's data (its file name), as the
  // lock says; empty: nobody, and LockData holds it. Every attempt first
  // runs `onLockData` (the holder may end there) and is counted.
  std::string dataHolder;
  std::function<void()> onLockData;
  int lockAttempts = 0;
  int locksHeld = 0;  // held now (taken again by the holder: counted)
  int mostLocksHeld = 0;

  DataLockAttempt LockData(const std::filesystem::path&, std::string_view,
                           std::chrono::milliseconds) override {
    ++lockAttempts;
    if (onLockData) onLockData();
    DataLockAttempt out;
    if (!dataHolder.empty()) {
      out.holder = dataHolder;
      return out;
    }
    mostLocksHeld = std::max(mostLocksHeld, ++locksHeld);
    out.lock = DataLock([this] { --locksHeld; });
    return out;
  }

  // The command line of the Nth start, as the program would receive it.
  std::string CommandLine(std::size_t n) const {
    return CommandLineFor(started.at(n).program, started.at(n).arguments);
  }
};

}  // namespace lup
