#pragma once
// Processes: which programs run, starting a program, waiting for one to end,
// and making sure only one copy of a program runs.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/data_lock.h"

namespace lup {

// How the started program's main window first appears.
enum class ShowState {
  NormalFocus,     // a normal window that takes the focus
  MinimizedFocus,  // minimised, but with the focus
};

// A started program that one can wait for. Owns the system's handle (a process
// handle on Windows, the child's pid elsewhere); moving hands it on, and it is
// released when its owner goes. Dropping it does not stop the program.
class ProcessHandle {
 public:
  ProcessHandle() = default;
  ~ProcessHandle();
  ProcessHandle(ProcessHandle&& other) noexcept;
  ProcessHandle& operator=(ProcessHandle&& other) noexcept;
  ProcessHandle(const ProcessHandle&) = delete;
  ProcessHandle& operator=(const ProcessHandle&) = delete;

  bool valid() const { return native_ != 0; }
  std::uint32_t id() const { return id_; }

  // For the platform implementations only.
  static ProcessHandle Adopt(std::intptr_t native, std::uint32_t id);
  std::intptr_t native() const { return native_; }
  // Where the exit code is kept once the program has ended and been reaped.
  std::optional<std::uint32_t>& ended() { return ended_; }

 private:
  void Release();
  std::intptr_t native_ = 0;
  std::uint32_t id_ = 0;
  std::optional<std::uint32_t> ended_;
};

struct StartResult {
  bool ok = false;
  std::uint32_t errorCode = 0;  // the system's error number when !ok
  std::string errorText;        // the system's own words for it, UTF-8
  ProcessHandle process;        // the started program, when ok
  explicit operator bool() const { return ok; }
};

// The command line a started program receives: its full path in double quotes,
// then one space and `arguments` when there are any. Quoting the path keeps a
// folder with spaces from being read as a shorter program name.
std::string CommandLineFor(const std::filesystem::path& program, std::string_view arguments);

// Splits an argument text into words by the rules Windows programs use for
// their command line: blanks separate words, double quotes group them, a
// backslash escapes a quote, and "" inside quotes stands for one quote.
std::vector<std::string> SplitArguments(std::string_view text);

// Starts `program` (made absolute first) with `arguments` (passed on as they
// stand, split into words the way Windows programs split their command line)
// in `workingFolder` (empty: our own current folder). Never searches PATH and
// never guesses the program from the command line.
StartResult StartProgram(const std::filesystem::path& program, std::string_view arguments,
                         const std::filesystem::path& workingFolder, ShowState show);

// Waits until the program has ended and returns its exit code. While waiting,
// `pump` is called whenever window events are waiting, so that the caller's
// windows stay responsive; the pump must take every pending event off the
// queue. The wait sleeps in the system: it does not spin the CPU. nullopt for
// an empty handle or when the wait itself failed.
std::optional<std::uint32_t> WaitForProcess(ProcessHandle& process,
                                            const std::function<void()>& pump = {});

// The exit code when the program has ended, nullopt while it still runs (or
// for an empty handle). Never blocks.
std::optional<std::uint32_t> ExitCodeIfEnded(ProcessHandle& process);

// The executable file names (no folder) of all running processes, UTF-8. Empty
// when the list cannot be read.
std::vector<std::string> RunningProcessNames();

// Holds a system-wide name for as long as it lives, so that a second copy of a
// program can see the first. A backslash or slash in the name is replaced.
class SingleInstanceGuard {
 public:
  explicit SingleInstanceGuard(std::string_view name);
  ~SingleInstanceGuard();
  SingleInstanceGuard(const SingleInstanceGuard&) = delete;
  SingleInstanceGuard& operator=(const SingleInstanceGuard&) = delete;

  // true when no other holder of the name existed. When the name cannot be
  // taken at all this is false too: better one program that does not start
  // than two that move the same files at once.
  bool IsFirst() const { return first_; }

 private:
  std::intptr_t native_ = 0;
  bool first_ = false;
};

// The name as the guard uses it with the system.
std::string GuardName(std::string_view name);

// Everything above behind one interface, so that windows can be tested with
// FakeProcesses (platform/fake_processes.h) instead of real programs.
struct StartRequest {
  std::filesystem::path program;
  std::string arguments;
  std::filesystem::path workingFolder;
  ShowState show = ShowState::NormalFocus;
};

class ProcessSystem {
 public:
  virtual ~ProcessSystem() = default;
  virtual std::vector<std::string> RunningNames() = 0;
  virtual StartResult Start(const StartRequest& request) = 0;
  virtual std::optional<std::uint32_t> Wait(ProcessHandle& process,
                                            const std::function<void()>& pump) = 0;
  // One program at a time on the data of `hostFolder` (platform/data_lock.h),
  // for `program` (its file name), waiting up to `wait` for it.
  virtual DataLockAttempt LockData(const std::filesystem::path& hostFolder,
                                   std::string_view program, std::chrono::milliseconds wait) = 0;
};

// The real processes of this machine.
ProcessSystem& SystemProcesses();

}  // namespace lup
