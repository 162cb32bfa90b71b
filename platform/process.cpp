// The parts of process handling that are the same on every system.
#include "platform/process.h"

#include <utility>

#include "base/text.h"

namespace lup {

ProcessHandle::~ProcessHandle() { Release(); }

ProcessHandle::ProcessHandle(ProcessHandle&& other) noexcept
    : native_(std::exchange(other.native_, 0)),
      id_(std::exchange(other.id_, 0)),
      ended_(std::exchange(other.ended_, std::nullopt)) {}

ProcessHandle& ProcessHandle::operator=(ProcessHandle&& other) noexcept {
  if (this != &other) {
    Release();
    native_ = std::exchange(other.native_, 0);
    id_ = std::exchange(other.id_, 0);
    ended_ = std::exchange(other.ended_, std::nullopt);
  }
  return *this;
}

ProcessHandle ProcessHandle::Adopt(std::intptr_t native, std::uint32_t id) {
  ProcessHandle handle;
  handle.native_ = native;
  handle.id_ = id;
  return handle;
}

std::string CommandLineFor(const std::filesystem::path& program, std::string_view arguments) {
  std::string line(1, '"');
  line += PathText(program);
  line += '"';
  if (!arguments.empty()) {
    line += ' ';
    line += arguments;
  }
  return line;
}

std::vector<std::string> SplitArguments(std::string_view text) {
  std::vector<std::string> words;
  std::size_t i = 0;
  const std::size_t n = text.size();
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  for (;;) {
    while (i < n && blank(text[i])) ++i;
    if (i >= n) break;
    std::string word;
    int quotes = 0;            // 1 while inside quotes
    std::size_t slashes = 0;   // backslashes just before this character
    while (i < n && !(blank(text[i]) && quotes == 0)) {
      const char c = text[i];
      if (c == '\\') {
        word += c;
        ++slashes;
        ++i;
        continue;
      }
      if (c == '"') {
        if (slashes % 2 == 0) {
          // 2n backslashes and a quote: n backslashes, and the quote opens or closes.
          word.resize(word.size() - slashes / 2);
          ++quotes;
        } else {
          // 2n+1 backslashes and a quote: n backslashes and a literal quote.
          word.resize(word.size() - slashes / 2 - 1);
          word += '"';
        }
        ++i;
        slashes = 0;
        // Runs of quotes: every third one is a literal quote.
        while (i < n && text[i] == '"') {
          if (++quotes == 3) {
            word += '"';
            quotes = 0;
          }
          ++i;
        }
        if (quotes == 2) quotes = 0;
        continue;
      }
      word += c;
      slashes = 0;
      ++i;
    }
    words.push_back(std::move(word));
  }
  return words;
}

std::string GuardName(std::string_view name) {
  std::string out(name);
  for (char& c : out) {
    if (c == '\\' || c == '/') c = '_';
  }
  return out;
}

namespace {

class RealProcesses final : public ProcessSystem {
 public:
  std::vector<std::string> RunningNames() override { return RunningProcessNames(); }
  StartResult Start(const StartRequest& r) override {
    return StartProgram(r.program, r.arguments, r.workingFolder, r.show);
  }
  std::optional<std::uint32_t> Wait(ProcessHandle& process,
                                    const std::function<void()>& pump) override {
    return WaitForProcess(process, pump);
  }
  DataLockAttempt LockData(const std::filesystem::path& hostFolder, std::string_view program,
                           std::chrono::milliseconds wait) override {
    return LockDataOfSystem(hostFolder, program, wait);
  }
};

}  // namespace

ProcessSystem& SystemProcesses() {
  static RealProcesses processes;
  return processes;
}

}  // namespace lup
