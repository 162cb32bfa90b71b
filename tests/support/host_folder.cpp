#include "tests/support/host_folder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <stdexcept>
#include <system_error>

#include "base/codepage.h"
#include "base/text.h"
#include "core/listfiles.h"
#include "core/same_files.h"
#include "core/settings.h"

namespace lup::test {
namespace fs = std::filesystem;

std::string BoxBytes(const std::string& owner) {
  return "box of " + owner + ":BEAR0123456789ab" + std::string("\x05\x06", 2) + "tail";
}

std::string BoxBytesReset(const std::string& owner) {
  return "box of " + owner + ":BEAR0123456789ab" + std::string("\0\0", 2) + "tail";
}

HostFolder::HostFolder() : temp_("host"), d_(temp_ / "PostPet for Windows ver. 2.0") {
  fs::create_directories(d_);
  fs::create_directories(Programs());
  Put("PostPet20.exe", "host program");
  store.Set(key::kPpDir, PathText(d_));
}

fs::path HostFolder::At(std::string_view relative) const {
  fs::path p = d_;
  std::size_t start = 0;
  for (;;) {
    const std::size_t slash = relative.find('/', start);
    p /= U8Path(relative.substr(start, slash == std::string_view::npos ? slash : slash - start));
    if (slash == std::string_view::npos) return p;
    start = slash + 1;
  }
}

void HostFolder::Put(std::string_view relative, std::string_view bytes) {
  const fs::path p = At(relative);
  fs::create_directories(p.parent_path());
  WriteBytes(p, bytes);
}

std::string HostFolder::Read(std::string_view relative) const { return ReadBytes(At(relative)); }

bool HostFolder::Exists(std::string_view relative) const { return fs::exists(At(relative)); }

void HostFolder::Remove(std::string_view relative) {
  std::error_code e;
  fs::remove_all(At(relative), e);
}

void HostFolder::AddPet(std::string_view name, std::string_view content) {
  Put(std::string(name) + "_PostPet設定.ppc", content);
}

void HostFolder::PutItems(const std::string& prefix, const std::string& owner) {
  if (prefix != "共有/") Put(prefix + "PostPet設定.ppc", owner + " settings");
  Put(prefix + "おともだち帳", owner + " friends");
  Put(prefix + "宝物/tzl001.pac", BoxBytes(owner));
  Put(prefix + "宝物/" + owner + "-gem.bmp", owner + " gem");
  Put(prefix + "受信フォルダ/" + owner + "-in.txt", owner + " received");
  Put(prefix + "受信フォルダ/0001.txt", owner + " first mail");
  Put(prefix + "送信フォルダ/" + owner + "-out.txt", owner + " sent");
  Put(prefix + "おやつ/" + owner + "-cake.pac", owner + " cake");
}

void HostFolder::PutThreePets() {
  PutPet("ミミ");
  PutItems("", "ミミ");
  Put("おともだち帳", "ミミ friends, newest");
  Put("受信フォルダ/0003.txt", "ミミ third mail, only in the host");
  PutPet("ソラ");
  Remove("ソラ_おともだち帳");
  Remove("ソラ_おやつ");
  PutPet("クロ");
  PutItems("共有/", "共有");
  Put("lupina3.dat", Cp932("\"ミミ\",0,0,0,0\r\n\"ソラ\",1,0,1,0\r\n"));
  WriteCurrent("ミミ");
}

void HostFolder::WriteCurrent(std::string_view name) {
  if (!WriteCurrentPet(d_, name).ok()) throw std::runtime_error("cannot write lupina.dat");
}

std::string HostFolder::CurrentOnDisk() const {
  const CurrentPetRead r = ReadCurrentPet(d_);
  if (r.state == CurrentPetRead::State::Missing) return "-";
  if (r.state == CurrentPetRead::State::Unreadable) return "?";
  return r.name;
}

Files HostFolder::Snapshot() const {
  Files out;
  std::error_code e;
  for (fs::recursive_directory_iterator it(d_, e), end; !e && it != end; it.increment(e)) {
    // Our notes of which folders hold the same files are not data.
    if (it.depth() == 0 && it->path().filename() == U8Path(kSameFilesFolderName)) {
      it.disable_recursion_pending();
      continue;
    }
    if (!it->is_regular_file()) continue;
    out[PathText(it->path().lexically_relative(d_).generic_u8string())] = ReadBytes(it->path());
  }
  return out;
}

Files HostFolder::AfterPowerCut(const Files& before, const std::vector<FileOps::DiskEvent>& events,
                                std::size_t cut, const std::function<bool(std::size_t)>& lost) const {
  using Kind = FileOps::DiskEvent::Kind;
  Files files = before;
  // For each file whose data is not yet flushed: its write event.
  std::map<std::string, std::size_t> unflushed;
  // Relative to D; empty for a name outside it.
  const auto name = [&](const fs::path& p) {
    const std::string relative = PathText(p.lexically_relative(d_).generic_u8string());
    return relative.empty() || relative.rfind("..", 0) == 0 ? std::string() : relative;
  };
  for (std::size_t i = 0; i < cut && i < events.size(); ++i) {
    const FileOps::DiskEvent& e = events[i];
    const std::string path = name(e.path);
    if (path.empty()) continue;
    switch (e.kind) {
      case Kind::kWrite:
        files[path] = e.bytes;
        unflushed[path] = i;
        break;
      case Kind::kDurable:
        unflushed.erase(path);
        break;
      case Kind::kRename: {
        const std::string to = name(e.other);
        if (!files.count(path)) {  // a folder: everything in it moves
          Files moved;
          for (auto it = files.begin(); it != files.end();) {
            if (it->first.rfind(path + "/", 0) == 0) {
              moved[to + it->first.substr(path.size())] = it->second;
              it = files.erase(it);
            } else {
              ++it;
            }
          }
          files.merge(moved);
          break;
        }
        files[to] = files[path];
        files.erase(path);
        unflushed.erase(to);
        if (auto it = unflushed.find(path); it != unflushed.end()) {
          unflushed[to] = it->second;
          unflushed.erase(it);
        }
        break;
      }
      case Kind::kLink:
        files[name(e.other)] = files[path];
        if (auto it = unflushed.find(path); it != unflushed.end()) unflushed[name(e.other)] = it->second;
        break;
      case Kind::kDelete:
        files.erase(path);
        unflushed.erase(path);
        break;
    }
  }
  for (const auto& [path, write] : unflushed)
    if (lost(write)) files[path] = events[write].lost;
  return files;
}

std::vector<PowerCut> PowerCuts(const std::vector<FileOps::DiskEvent>& events) {
  using Kind = FileOps::DiskEvent::Kind;
  std::vector<PowerCut> cuts;
#ifdef _WIN32
  // The states are the portable funnel's and the model's: the native run
  // goes through them; under Wine each costs a Wine call, so only the last
  // state (the work done) is tried, to show the model reads this system's names.
  cuts.push_back({events.size(), [](std::size_t) { return false; }, "the work done"});
  return cuts;
#endif
  const char* mode = std::getenv("LUP_POWER_CUTS");
  const bool all = mode && std::string(mode) == "all";
  std::mt19937 random(all ? std::random_device{}() : 1u);
  if (all) std::printf("power cuts: every state, random sets from seed %u\n", static_cast<unsigned>(random()));
  std::map<fs::path, std::size_t> unflushed;  // a file's name now -> its write not yet flushed
  for (std::size_t after = 0; after <= events.size(); ++after) {
    const std::string at = "after event " + std::to_string(after) + " of " + std::to_string(events.size());
    cuts.push_back({after, [](std::size_t) { return false; }, at + ", nothing lost"});
    if (!unflushed.empty()) {
      cuts.push_back({after, [](std::size_t) { return true; }, at + ", every unflushed write lost"});
      if (all) {
        for (const auto& [name, w] : unflushed)
          cuts.push_back({after, [w = w](std::size_t i) { return i == w; }, at + ", write " + std::to_string(w) + " lost"});
        for (int k = 0; k < 4 && unflushed.size() > 1; ++k) {
          const unsigned bits = static_cast<unsigned>(random());
          cuts.push_back({after, [bits](std::size_t i) { return (bits >> (i % 31)) & 1u; },
                          at + ", random set " + std::to_string(bits)});
        }
      }
    }
    if (after == events.size()) break;
    const FileOps::DiskEvent& e = events[after];
    switch (e.kind) {
      case Kind::kWrite: unflushed[e.path] = after; break;
      case Kind::kDurable: case Kind::kDelete: unflushed.erase(e.path); break;
      case Kind::kRename:
        unflushed.erase(e.other);
        if (auto it = unflushed.find(e.path); it != unflushed.end()) {
          unflushed[e.other] = it->second;
          unflushed.erase(e.path);
        }
        break;
      case Kind::kLink: break;
    }
  }
  return cuts;
}

void HostFolder::Restore(const Files& files) {
  std::vector<fs::path> present;
  for (fs::recursive_directory_iterator it(d_), end; it != end; ++it)
    if (it->is_regular_file()) present.push_back(it->path());
  for (const fs::path& p : present) fs::remove(p);
  for (const auto& [path, bytes] : files) Put(path, bytes);
}

std::string HostFolder::Cp932(std::string_view utf8) {
  return Utf8ToCp932(utf8).value_or("<not cp932>");
}

std::vector<std::string> FoldersIn(const fs::path& d) {
  std::vector<std::string> out;
  std::error_code e;
  for (fs::recursive_directory_iterator it(d, e), end; !e && it != end; it.increment(e))
    if (it->is_directory())
      out.push_back(PathText(it->path().lexically_relative(d).generic_u8string()));
  std::sort(out.begin(), out.end());
  return out;
}

// ---- the model of the copies --------------------------------------------------

Files ItemOf(const Files& files, const std::string& item) {
  Files out;
  auto whole = files.find(item);
  if (whole != files.end()) out[""] = whole->second;
  const std::string prefix = item + "/";
  for (auto it = files.lower_bound(prefix); it != files.end(); ++it) {
    if (it->first.compare(0, prefix.size(), prefix) != 0) break;
    std::string name = it->first.substr(prefix.size());
    if (name.find('/') == std::string::npos) out[name] = it->second;
  }
  return out;
}

namespace {

std::string PathOf(const std::string& item, const std::string& name) {
  return name.empty() ? item : item + "/" + name;
}

// The item's share flag index, -1 for the settings file.
int KindOf(const std::string& item) {
  if (item == "おともだち帳") return kFriendBook;
  if (item == "宝物") return kTreasureBox;
  if (item == "おやつ") return kSnacks;
  if (item == "受信フォルダ" || item == "送信フォルダ") return kSendReceiveLog;
  return -1;
}

std::vector<std::string> AllItems() {
  std::vector<std::string> all = kFileItems;
  all.insert(all.end(), kFolderItems.begin(), kFolderItems.end());
  return all;
}

}  // namespace

void SetItem(Files& model, const std::string& item, const Files& content) {
  for (const auto& [name, bytes] : ItemOf(model, item)) model.erase(PathOf(item, name));
  MergeItem(model, item, content);
}

void MergeItem(Files& model, const std::string& item, const Files& content) {
  for (const auto& [name, bytes] : content) model[PathOf(item, name)] = bytes;
}

std::string CopyOf(const std::string& item, const std::string& pet, ShareFlags flags) {
  const int kind = KindOf(item);
  return kind >= 0 && flags[static_cast<std::size_t>(kind)] ? "共有/" + item : pet + "_" + item;
}

void ModelPutAway(Files& model, const std::string& pet, ShareFlags flags) {
  for (const std::string& item : kFileItems)
    MergeItem(model, CopyOf(item, pet, flags), ItemOf(model, item));
  for (const std::string& item : kFolderItems) {
    Files host = ItemOf(model, item);
    if (host.empty()) continue;
    const std::string copy = CopyOf(item, pet, flags);
    // The treasure box file is never removed from a copy.
    const Files before = ItemOf(model, copy);
    if (item == "宝物" && !host.count("tzl001.pac") && before.count("tzl001.pac"))
      host["tzl001.pac"] = before.at("tzl001.pac");
    SetItem(model, copy, host);
  }
}

void ModelBringIn(Files& model, const std::string& pet, ShareFlags flags) {
  for (const std::string& item : AllItems())
    SetItem(model, item, ItemOf(model, CopyOf(item, pet, flags)));
}

}  // namespace lup::test
