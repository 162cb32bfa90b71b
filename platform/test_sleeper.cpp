// A small program that the process tests start. It reads its own arguments
// and, in the order given:
//   --mark FILE   writes its own full path into FILE (which copy of it ran)
//   --cwd FILE    writes its working folder into FILE
//   --args FILE   writes its arguments into FILE, one per line
//   --text FILE   writes its argument text (the command line after its name)
//   --sleep MS    sleeps
//   --until FILE  waits until FILE exists (at most a minute)
//   --lock-data D holds the data lock of the host folder D (data_lock.h)
//                 until it ends, waiting for it at most a minute
//   --hold FILE   opens FILE and keeps it open until it ends, sharing it for
//                 reading and writing but not for deleting or renaming (as
//                 an antivirus does); Windows only
//   --abandon N   ends at once with exit code N, releasing nothing itself
//                 (as a killed program ends)
//   --exit N      ends with exit code N (otherwise 0)
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "base/text.h"
#include "platform/data_lock.h"
#include "platform/test_sleeper_hold.h"
#include "platform/program.h"

namespace {

void Write(const std::string& file, const std::string& text) {
  const std::filesystem::path target = lup::U8Path(file);
  std::filesystem::path temporary = target;
  temporary += ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
  }
  std::error_code ec;
  std::filesystem::rename(temporary, target, ec);
}

}  // namespace

int main() {
  const std::vector<std::string> args = lup::ProgramArguments();
  int exitCode = 0;
  lup::DataLockAttempt held;  // --lock-data: until the program ends
  // Words that are no option are passed over, so that a program started with
  // a mangled command line still does what the options say.
  for (std::size_t i = 0; i + 1 < args.size(); ++i) {
    const std::string& option = args[i];
    if (option.rfind("--", 0) != 0) continue;
    const std::string& value = args[i + 1];
    if (option == "--mark") {
      Write(value, lup::PathText(lup::ProgramPath()));
    } else if (option == "--cwd") {
      Write(value, lup::PathText(std::filesystem::current_path()));
    } else if (option == "--args") {
      std::string all;
      for (const std::string& a : args) all += a + "\n";
      Write(value, all);
    } else if (option == "--text") {
      Write(value, lup::ProgramArgumentText());
    } else if (option == "--sleep") {
      std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(value.c_str())));
    } else if (option == "--until") {
      const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
      while (!std::filesystem::exists(lup::U8Path(value)) && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    } else if (option == "--lock-data") {
      held = lup::LockDataOfSystem(lup::U8Path(value), "sleeper.exe", std::chrono::minutes(1));
    } else if (option == "--hold") {
      HoldFileOpen(lup::U8Path(value));
    } else if (option == "--abandon") {
      std::_Exit(std::atoi(value.c_str()));
    } else if (option == "--exit") {
      exitCode = std::atoi(value.c_str());
    } else {
      continue;
    }
    ++i;  // the option's value
  }
  return exitCode;
}
