#include "tools/hostsim/host_files.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <sstream>

#include "core/fileops.h"
#include "core/snack.h"
#include "base/text.h"

namespace hostsim {
namespace {

fs::path Item(const fs::path& dir, std::string_view name) { return dir / lup::U8Path(name); }

std::string Where(const fs::path& p) { return lup::PathText(p); }

bool IsPlainName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  if (name.back() == ' ' || name.back() == '.') return false;
  for (unsigned char c : name) {
    if (c < 0x20 || std::string_view("\\/:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos)
      return false;
  }
  return true;
}

void RequirePlainName(std::string_view name) {
  if (!IsPlainName(name)) throw HostError("「" + std::string(name) + "」はファイル名に使えません");
}

std::vector<std::string> SplitLines(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<std::string> lines;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

void Check(const lup::OpResult& r) {
  if (!r.ok()) throw HostError(r.Describe());
}

void WriteFileAtomic(const fs::path& path, std::string_view bytes) { Check(lup::Fs().Write(path, bytes)); }

void MakeFolder(const fs::path& path) {
  std::error_code ec;
  if (!fs::is_directory(path, ec)) Check(lup::Fs().MakeFolder(path));
}

std::vector<fs::path> FilesIn(const fs::path& folder) {
  std::vector<fs::path> files;
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return files;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_regular_file(ec)) files.push_back(it->path());
  }
  if (ec) throw HostError(Where(folder) + " フォルダを読めませんでした");
  std::sort(files.begin(), files.end());
  return files;
}

bool HasExtension(const fs::path& p, std::string_view ext) {
  std::string e = lup::PathText(p.extension());
  std::transform(e.begin(), e.end(), e.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return e == ext;
}

// Reads the name and count of one snack file; nullopt when the file is too
// short to hold every field.
std::optional<Snack> ReadSnack(const fs::path& path) {
  lup::SnackRead read = lup::ReadSnackInfo(path);
  Check(read.error);
  if (read.shortFile) return std::nullopt;
  return Snack{lup::NameText(path), read.info.name, read.info.count};
}

// A new pet's empty treasure box: a short header and one record with the pet
// kind tag, its 16-bit value 16 bytes after the tag.
std::string NewTreasureBox() {
  std::string box(48, '\0');
  box.replace(0, 8, "HSTZBOX1");
  box.replace(16, 4, "BEAR");
  box[32] = 1;
  return box;
}

std::string Clean(std::string_view field) {
  std::string s(field);
  std::replace_if(s.begin(), s.end(), [](char c) { return c == '\t' || c == '\r' || c == '\n'; }, ' ');
  return s;
}

void AppendLogLine(const fs::path& dir, const std::string& line) {
  std::ofstream out(Item(dir, kLogName), std::ios::binary | std::ios::app);
  out << line << "\r\n";
}

}  // namespace

std::string ReadFileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw HostError(Where(path) + " を開けませんでした");
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw HostError(Where(path) + " を読めませんでした");
  return text.str();
}

std::optional<Pet> ReadPet(const fs::path& dir) {
  fs::path path = Item(dir, kSettingsName);
  std::error_code ec;
  if (!fs::exists(path, ec)) return std::nullopt;
  Pet pet;
  for (const std::string& line : SplitLines(ReadFileText(path))) {
    if (line.starts_with("name=")) pet.name = line.substr(5);
    if (line.starts_with("kind=")) pet.kind = line.substr(5);
  }
  return pet;
}

void CreatePet(const fs::path& dir, const Pet& pet) {
  fs::path settings = Item(dir, kSettingsName);
  std::error_code ec;
  if (fs::exists(settings, ec)) throw HostError(Where(settings) + " がすでにあります");
  if (Trim(pet.name).empty()) throw HostError("ペットの名前が空です");
  if (pet.name.find_first_of("\r\n") != std::string::npos) throw HostError("ペットの名前に改行は使えません");
  for (std::string_view folder : {kReceivedDir, kSentDir, kTreasureDir, kSnackDir}) MakeFolder(Item(dir, folder));
  fs::path box = Item(Item(dir, kTreasureDir), kTreasureBoxName);
  if (!fs::exists(box, ec)) WriteFileAtomic(box, NewTreasureBox());
  std::string kind = pet.kind.empty() ? std::string(kDefaultKind) : pet.kind;
  WriteFileAtomic(settings, "name=" + pet.name + "\r\nkind=" + kind + "\r\n");
}

int CountMails(const fs::path& dir, std::string_view folder) {
  return static_cast<int>(FilesIn(Item(dir, folder)).size());
}

void WriteMail(const fs::path& dir, std::string_view folder, std::string_view fileName,
               std::string_view text) {
  RequirePlainName(fileName);
  fs::path folderPath = Item(dir, folder);
  MakeFolder(folderPath);
  fs::path path = Item(folderPath, fileName);
  std::error_code ec;
  if (fs::exists(path, ec)) throw HostError(Where(path) + " がすでにあります");
  WriteFileAtomic(path, text);
}

std::string FreeMailName(const fs::path& dir, std::string_view folder, std::string_view stamp) {
  for (int n = 1;; ++n) {
    std::string name = "mail-" + std::string(stamp) + "-" + std::to_string(n) + ".txt";
    std::error_code ec;
    if (!fs::exists(Item(Item(dir, folder), name), ec)) return name;
  }
}

void DeleteReceived(const fs::path& dir, std::string_view fileName) {
  RequirePlainName(fileName);
  fs::path path = Item(Item(dir, kReceivedDir), fileName);
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) throw HostError(Where(path) + " が見つかりません");
  Check(lup::Fs().Delete(path));
}

std::vector<std::string> ReadFriends(const fs::path& dir) {
  fs::path path = Item(dir, kFriendBookName);
  std::error_code ec;
  std::vector<std::string> friends;
  if (!fs::exists(path, ec)) return friends;
  for (std::string& line : SplitLines(ReadFileText(path))) {
    if (!line.empty()) friends.push_back(std::move(line));
  }
  return friends;
}

void AddFriend(const fs::path& dir, std::string_view name) {
  if (Trim(name).empty()) throw HostError("ともだちの名前が空です");
  if (name.find_first_of("\r\n") != std::string_view::npos) throw HostError("ともだちの名前に改行は使えません");
  fs::path path = Item(dir, kFriendBookName);
  std::error_code ec;
  std::string book = fs::exists(path, ec) ? ReadFileText(path) : std::string();
  if (!book.empty() && book.back() != '\n') book += "\r\n";
  book.append(name);
  book += "\r\n";
  WriteFileAtomic(path, book);
}

std::vector<Snack> ReadSnacks(const fs::path& dir) {
  std::vector<Snack> snacks;
  for (const fs::path& file : FilesIn(Item(dir, kSnackDir))) {
    if (!HasExtension(file, ".pac")) continue;
    if (std::optional<Snack> snack = ReadSnack(file)) snacks.push_back(std::move(*snack));
  }
  return snacks;
}

Snack EatSnack(const fs::path& dir) {
  for (Snack& snack : ReadSnacks(dir)) {
    if (snack.count == 0 || snack.count == lup::kUnlimitedCount) continue;
    // The host changes the count in place; the rest of the file stays.
    snack.count -= 1;
    Check(lup::WriteSnackCount(Item(Item(dir, kSnackDir), snack.fileName), snack.count));
    return snack;
  }
  throw HostError("食べられるおやつがありません");
}

std::vector<std::string> ListTreasures(const fs::path& dir) {
  std::vector<std::string> names;
  for (const fs::path& file : FilesIn(Item(dir, kTreasureDir))) names.push_back(lup::NameText(file));
  return names;
}

std::vector<Action> ParseScript(std::string_view text) {
  std::vector<Action> actions;
  int number = 0;
  for (const std::string& raw : SplitLines(text)) {
    ++number;
    std::string_view line = Trim(raw);
    if (line.empty() || line.front() == '#') continue;
    Action action;
    action.line = number;
    action.source = std::string(line);
    size_t space = line.find(' ');
    action.verb = std::string(line.substr(0, space));
    std::string_view rest = space == std::string_view::npos ? std::string_view() : Trim(line.substr(space + 1));
    auto fail = [&](std::string_view why) {
      throw HostError(std::to_string(number) + " 行目: " + std::string(why) + ": " + action.source);
    };
    if (action.verb == "receive" || action.verb == "send") {
      size_t gap = rest.find(' ');
      action.arg = std::string(rest.substr(0, gap));
      if (gap != std::string_view::npos) action.text = std::string(rest.substr(gap + 1));
      if (action.arg.empty()) fail("ファイル名がありません");
    } else if (action.verb == "friend" || action.verb == "newpet" || action.verb == "delete-received") {
      action.arg = std::string(rest);
      if (action.arg.empty()) fail("名前がありません");
    } else if (action.verb == "eat") {
      if (!rest.empty()) fail("eat は引数を取りません");
    } else if (action.verb == "wait") {
      int ms = -1;
      auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), ms);
      if (ec != std::errc() || end != rest.data() + rest.size() || ms < 0 || ms > 600000)
        fail("待ち時間は 0 から 600000 ミリ秒です");
      action.arg = std::string(rest);
    } else {
      fail("知らない動作です");
    }
    actions.push_back(std::move(action));
  }
  return actions;
}

void RunAction(const fs::path& dir, const Action& action, const std::function<void(int)>& sleep) {
  if (action.verb == "receive") {
    WriteMail(dir, kReceivedDir, action.arg, action.text);
  } else if (action.verb == "send") {
    WriteMail(dir, kSentDir, action.arg, action.text);
  } else if (action.verb == "friend") {
    AddFriend(dir, action.arg);
  } else if (action.verb == "eat") {
    EatSnack(dir);
  } else if (action.verb == "newpet") {
    CreatePet(dir, Pet{action.arg, std::string(kDefaultKind)});
  } else if (action.verb == "delete-received") {
    DeleteReceived(dir, action.arg);
  } else if (action.verb == "wait") {
    sleep(std::stoi(action.arg));
  } else {
    throw HostError("知らない動作です: " + action.verb);
  }
}

void LogStart(const fs::path& dir, const StartRecord& r) {
  AppendLogLine(dir, "start\tcmd=" + Clean(r.cmd) + "\tcwd=" + Clean(r.cwd) + "\texe=" + Clean(r.exe) +
                         "\tpet=" + Clean(r.pet));
}

void LogError(const fs::path& dir, const Action* action, std::string_view reason) {
  std::string line = "error";
  if (action) line += "\tline=" + std::to_string(action->line) + "\t" + Clean(action->source);
  AppendLogLine(dir, line + "\t" + Clean(reason));
}

std::vector<StartRecord> ReadStartLog(const fs::path& dir) {
  std::vector<StartRecord> records;
  fs::path path = Item(dir, kLogName);
  std::error_code ec;
  if (!fs::exists(path, ec)) return records;
  for (const std::string& line : SplitLines(ReadFileText(path))) {
    if (!line.starts_with("start\t")) continue;
    StartRecord r;
    std::string_view rest(line);
    while (!rest.empty()) {
      size_t tab = rest.find('\t');
      std::string_view field = rest.substr(0, tab);
      for (auto [key, target] : {std::pair{"cmd=", &r.cmd}, {"cwd=", &r.cwd}, {"exe=", &r.exe}, {"pet=", &r.pet}}) {
        if (field.starts_with(key)) *target = std::string(field.substr(4));
      }
      if (tab == std::string_view::npos) break;
      rest.remove_prefix(tab + 1);
    }
    records.push_back(std::move(r));
  }
  return records;
}

}  // namespace hostsim
