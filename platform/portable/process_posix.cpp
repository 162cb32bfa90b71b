// Processes on Linux: posix_spawn, waitpid and /proc.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <system_error>
#include <thread>

#include "base/text.h"
#include "platform/process.h"

extern char** environ;

namespace lup {

namespace {

std::uint32_t ExitCodeOf(int status) {
  if (WIFEXITED(status)) return static_cast<std::uint32_t>(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return 128u + static_cast<std::uint32_t>(WTERMSIG(status));
  return 255u;
}

StartResult Failed(int error) {
  StartResult result;
  result.errorCode = static_cast<std::uint32_t>(error);
  result.errorText = std::generic_category().message(error);
  return result;
}

}  // namespace

void ProcessHandle::Release() {
  // Reap the child when it has already ended, so that it leaves no zombie.
  if (native_ != 0 && !ended_) {
    int status = 0;
    waitpid(static_cast<pid_t>(native_), &status, WNOHANG);
  }
  native_ = 0;
  id_ = 0;
  ended_.reset();
}

StartResult StartProgram(const std::filesystem::path& program, std::string_view arguments,
                         const std::filesystem::path& workingFolder, ShowState) {
  if (program.empty() || arguments.find('\0') != std::string_view::npos) return Failed(EINVAL);
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(program, ec);
  if (ec) return Failed(ec.value());

  const std::string path = PathText(absolute);
  std::vector<std::string> words = SplitArguments(arguments);
  words.insert(words.begin(), path);
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const std::string folder = PathText(workingFolder);
  if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  pid_t pid = 0;
  const int error = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return Failed(error);

  StartResult result;
  result.ok = true;
  result.process = ProcessHandle::Adopt(pid, static_cast<std::uint32_t>(pid));
  return result;
}

std::optional<std::uint32_t> ExitCodeIfEnded(ProcessHandle& process) {
  if (!process.valid()) return std::nullopt;
  if (process.ended()) return process.ended();
  int status = 0;
  const pid_t r = waitpid(static_cast<pid_t>(process.native()), &status, WNOHANG);
  if (r == static_cast<pid_t>(process.native())) process.ended() = ExitCodeOf(status);
  return process.ended();
}

std::optional<std::uint32_t> WaitForProcess(ProcessHandle& process,
                                            const std::function<void()>& pump) {
  if (!process.valid()) return std::nullopt;
  const pid_t pid = static_cast<pid_t>(process.native());
  while (!process.ended()) {
    int status = 0;
    // Without a pump there is nothing to keep flowing: block in the system.
    const pid_t r = waitpid(pid, &status, pump ? WNOHANG : 0);
    if (r == pid) {
      process.ended() = ExitCodeOf(status);
      break;
    }
    if (r < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    pump();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return process.ended();
}

std::vector<std::string> RunningProcessNames() {
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it("/proc", ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string pid = it->path().filename().string();
    if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
    // The executable's own file name; the short kernel name when it cannot be read.
    std::error_code linkError;
    const std::filesystem::path exe = std::filesystem::read_symlink(it->path() / "exe", linkError);
    std::string name;
    if (!linkError) {
      name = NameText(exe);
      const std::string deleted = " (deleted)";
      if (name.size() > deleted.size() && name.ends_with(deleted)) {
        name.resize(name.size() - deleted.size());
      }
    } else {
      std::ifstream comm(it->path() / "comm");
      std::getline(comm, name);
    }
    if (!name.empty()) names.push_back(name);
  }
  return names;
}

SingleInstanceGuard::SingleInstanceGuard(std::string_view name) {
  const std::string file =
      "lup-" + GuardName(name) + "-" + std::to_string(static_cast<unsigned long>(getuid())) + ".lock";
  std::error_code ec;
  std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
  if (ec) folder = "/tmp";
  const int fd = open(PathText(folder / U8Path(file)).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return;
  }
  native_ = fd + 1;  // 0 stands for "nothing held"
  first_ = true;
}

SingleInstanceGuard::~SingleInstanceGuard() {
  if (native_ != 0) close(static_cast<int>(native_ - 1));
}

}  // namespace lup
