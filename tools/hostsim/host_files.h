#pragma once
// The stand-in host's data in its folder D (the folder of its executable).
// The item names are the real host's fixed names. What the stand-in writes
// inside its own files is its own choice:
//   pet settings file  UTF-8 text lines "name=<pet name>" and "kind=<kind>"
//   friend book        UTF-8 text, one friend per line (CR LF)
//   mails              one file per mail in the received / sent folder
//   snack files        the host's .pac layout, read and changed through the
//                      core's snack access
//   treasures          the files of the treasure folder
//   start log          D\hostsim-log.txt, UTF-8, one tab-separated line per
//                      start: "start", "cmd=…", "cwd=…", "exe=…", "pet=…";
//                      a failed scripted action adds "error", "line=N", the
//                      action, the reason.
// Files are written through the core's disk funnel (atomically). Every
// function throws HostError (a Japanese message naming the file) when it
// cannot do its work; nothing here includes a platform header.
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace hostsim {

namespace fs = std::filesystem;

inline constexpr std::string_view kSettingsName = "PostPet設定.ppc";
inline constexpr std::string_view kFriendBookName = "おともだち帳";
inline constexpr std::string_view kTreasureDir = "宝物";
inline constexpr std::string_view kTreasureBoxName = "tzl001.pac";
inline constexpr std::string_view kReceivedDir = "受信フォルダ";
inline constexpr std::string_view kSentDir = "送信フォルダ";
inline constexpr std::string_view kSnackDir = "おやつ";
inline constexpr std::string_view kLogName = "hostsim-log.txt";
inline constexpr std::string_view kDefaultKind = "クマ";

class HostError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Pet {
  std::string name;
  std::string kind;
};

// nullopt when D holds no pet settings file.
std::optional<Pet> ReadPet(const fs::path& dir);
// Writes a new pet's settings file and makes the folders the host works in
// (and an empty treasure box when there is none). Refuses when a settings
// file is there already: that is another pet's.
void CreatePet(const fs::path& dir, const Pet& pet);

// Number of files in one of the mail folders (0 when it does not exist).
int CountMails(const fs::path& dir, std::string_view folder);
// Writes one mail; refuses a file name that is not a plain name or that is
// taken already.
void WriteMail(const fs::path& dir, std::string_view folder, std::string_view fileName,
               std::string_view text);
// A file name not yet taken in the folder, made from the stamp.
std::string FreeMailName(const fs::path& dir, std::string_view folder, std::string_view stamp);
void DeleteReceived(const fs::path& dir, std::string_view fileName);

std::vector<std::string> ReadFriends(const fs::path& dir);
void AddFriend(const fs::path& dir, std::string_view name);

struct Snack {
  std::string fileName;  // UTF-8
  std::string name;      // UTF-8
  int count = 0;         // 65535: unlimited
};
// The .pac files of the snack folder that hold every snack field, sorted by
// file name.
std::vector<Snack> ReadSnacks(const fs::path& dir);
// Eats one piece of the first snack with pieces left (unlimited ones are not
// counted down), changing the count in place. Returns the snack as it is now;
// throws when there is nothing to eat.
Snack EatSnack(const fs::path& dir);

// File names in the treasure folder, sorted.
std::vector<std::string> ListTreasures(const fs::path& dir);

// Scripted actions, one per line:
//   receive <file name> <text>   send <file name> <text>   friend <name>
//   eat   newpet <name>   delete-received <file name>   wait <ms>
// Blank lines and lines starting with "#" are skipped.
struct Action {
  int line = 0;
  std::string verb;
  std::string arg;   // file name, friend name, pet name or milliseconds
  std::string text;  // mail text
  std::string source;
};
// Throws HostError ("N 行目: …") for an unknown verb or a missing argument,
// before anything is done.
std::vector<Action> ParseScript(std::string_view text);
// Performs one action; `sleep` waits the given milliseconds.
void RunAction(const fs::path& dir, const Action& action,
               const std::function<void(int)>& sleep);

struct StartRecord {
  std::string cmd, cwd, exe, pet;
};
void LogStart(const fs::path& dir, const StartRecord& record);
void LogError(const fs::path& dir, const Action* action, std::string_view reason);
// The start lines of the log, oldest first (empty when there is no log).
std::vector<StartRecord> ReadStartLog(const fs::path& dir);

// Reads a whole file; throws HostError naming it.
std::string ReadFileText(const fs::path& path);

}  // namespace hostsim
