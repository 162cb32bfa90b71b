// Processes on Windows: CreateProcessW, the Toolhelp snapshot, named mutexes.
#include <windows.h>
#include <tlhelp32.h>

#include "base/text.h"
#include "platform/process.h"
#include "platform/win32/wide.h"

namespace lup {

namespace {

HANDLE AsHandle(std::intptr_t native) { return reinterpret_cast<HANDLE>(native); }

StartResult Failed(DWORD error) {
  StartResult result;
  result.errorCode = error;
  result.errorText = SystemErrorText(error);
  return result;
}

std::optional<std::uint32_t> ReadExitCode(ProcessHandle& process) {
  DWORD code = 0;
  if (!GetExitCodeProcess(AsHandle(process.native()), &code)) return std::nullopt;
  process.ended() = code;
  return code;
}

}  // namespace

void ProcessHandle::Release() {
  if (native_ != 0) CloseHandle(AsHandle(native_));
  native_ = 0;
  id_ = 0;
  ended_.reset();
}

StartResult StartProgram(const std::filesystem::path& program, std::string_view arguments,
                         const std::filesystem::path& workingFolder, ShowState show) {
  if (program.empty() || arguments.find('\0') != std::string_view::npos) {
    return Failed(ERROR_INVALID_PARAMETER);
  }
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(program, ec);
  if (ec) return Failed(ERROR_INVALID_NAME);
  const std::wstring application = absolute.wstring();
  // A quote cannot be part of a Windows file name; it could only end our
  // quoting early and let the rest be read as other words.
  if (application.find(L'"') != std::wstring::npos) return Failed(ERROR_INVALID_NAME);

  // The program is named twice: as the application, so that the system never
  // guesses it from the command line, and quoted at the head of the command
  // line, which is what the program itself reads as its name.
  std::wstring commandLine = Wide(CommandLineFor(absolute, arguments));
  const std::wstring folder = workingFolder.wstring();

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = show == ShowState::MinimizedFocus ? SW_SHOWMINIMIZED : SW_SHOWNORMAL;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
    return Failed(GetLastError());
  }
  CloseHandle(info.hThread);
  StartResult result;
  result.ok = true;
  result.process = ProcessHandle::Adopt(reinterpret_cast<std::intptr_t>(info.hProcess), info.dwProcessId);
  return result;
}

std::optional<std::uint32_t> ExitCodeIfEnded(ProcessHandle& process) {
  if (!process.valid()) return std::nullopt;
  if (process.ended()) return process.ended();
  if (WaitForSingleObject(AsHandle(process.native()), 0) != WAIT_OBJECT_0) return std::nullopt;
  return ReadExitCode(process);
}

std::optional<std::uint32_t> WaitForProcess(ProcessHandle& process,
                                            const std::function<void()>& pump) {
  if (!process.valid()) return std::nullopt;
  if (process.ended()) return process.ended();
  HANDLE handle = AsHandle(process.native());
  for (;;) {
    // Sleep until the program ends or an event arrives for our windows; input
    // that is already queued but not yet taken off also wakes us.
    const DWORD r = pump ? MsgWaitForMultipleObjectsEx(1, &handle, INFINITE, QS_ALLINPUT,
                                                       MWMO_INPUTAVAILABLE)
                         : WaitForSingleObject(handle, INFINITE);
    if (r == WAIT_OBJECT_0) break;
    if (pump && r == WAIT_OBJECT_0 + 1) {
      pump();
      continue;
    }
    return std::nullopt;
  }
  // The handle is signalled: the exit code is final, even when it is 259.
  return ReadExitCode(process);
}

std::vector<std::string> RunningProcessNames() {
  std::vector<std::string> names;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return names;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    std::wstring_view name(entry.szExeFile, std::size(entry.szExeFile));
    name = name.substr(0, name.find(L'\0'));
    if (!name.empty()) names.push_back(Narrow(name));
  }
  CloseHandle(snapshot);
  return names;
}

SingleInstanceGuard::SingleInstanceGuard(std::string_view name) {
  const std::wstring wide = Wide(GuardName(name));
  HANDLE mutex = CreateMutexW(nullptr, FALSE, wide.c_str());
  if (mutex == nullptr) return;  // the name is taken by something else
  const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
  native_ = reinterpret_cast<std::intptr_t>(mutex);
  first_ = !existed;
}

SingleInstanceGuard::~SingleInstanceGuard() {
  if (native_ != 0) CloseHandle(AsHandle(native_));
}

}  // namespace lup
