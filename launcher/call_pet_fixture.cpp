#include "launcher/call_pet_fixture.h"

#include <algorithm>
#include <system_error>

#include <gtest/gtest.h>

#include "core/listfiles.h"
#include "base/text.h"

namespace lup::test {
namespace fs = std::filesystem;

std::string BoxBytes(const std::string& owner) {
  return "box of " + owner + ":BEAR0123456789ab" + std::string("\x05\x06", 2) + "tail";
}

std::string BoxBytesReset(const std::string& owner) {
  return "box of " + owner + ":BEAR0123456789ab" + std::string("\0\0", 2) + "tail";
}

CallPetFixture::CallPetFixture() : d_(tmp_.path() / U8Path("Post Pet 2.0")) {
  fs::create_directories(d_);
  settings.hostFolder = d_;
  settings.MakeHostPaths();
  Put("PostPet20.exe", "host program");
  fs::create_directories(d_ / U8Path("共有"));
}

fs::path CallPetFixture::At(const std::string& relative) const {
  fs::path p = d_;
  std::size_t start = 0;
  for (;;) {
    std::size_t slash = relative.find('/', start);
    p /= U8Path(relative.substr(start, slash == std::string::npos ? slash : slash - start));
    if (slash == std::string::npos) return p;
    start = slash + 1;
  }
}

void CallPetFixture::Put(const std::string& relative, const std::string& bytes) {
  fs::path p = At(relative);
  fs::create_directories(p.parent_path());
  WriteBytes(p, bytes);
}

void CallPetFixture::PutItems(const std::string& prefix, const std::string& owner) {
  if (prefix != "共有/") Put(prefix + "PostPet設定.ppc", owner + " settings");
  Put(prefix + "おともだち帳", owner + " friends");
  Put(prefix + "宝物/tzl001.pac", BoxBytes(owner));
  Put(prefix + "宝物/" + owner + "-gem.bmp", owner + " gem");
  Put(prefix + "受信フォルダ/" + owner + "-in.txt", owner + " received");
  Put(prefix + "受信フォルダ/0001.txt", owner + " first mail");
  Put(prefix + "送信フォルダ/" + owner + "-out.txt", owner + " sent");
  Put(prefix + "おやつ/" + owner + "-cake.pac", owner + " cake");
}

void CallPetFixture::Remove(const std::string& relative) {
  std::error_code e;
  fs::remove_all(At(relative), e);
}

Files CallPetFixture::Snapshot() const {
  Files out;
  std::error_code e;
  for (fs::recursive_directory_iterator it(d_, e), end; !e && it != end; it.increment(e)) {
    if (!it->is_regular_file()) continue;
    out[PathText(it->path().lexically_relative(d_).generic_u8string())] =
        ReadBytes(it->path());
  }
  return out;
}

std::vector<std::string> FoldersIn(const fs::path& d) {
  std::vector<std::string> out;
  std::error_code e;
  for (fs::recursive_directory_iterator it(d, e), end; !e && it != end; it.increment(e))
    if (it->is_directory()) out.push_back(PathText(it->path().lexically_relative(d).generic_u8string()));
  std::sort(out.begin(), out.end());
  return out;
}

void CallPetFixture::AddRow(const std::string& name, ShareFlags flags) {
  pets.push_back(Pet{name, flags});
}

void CallPetFixture::SetCurrent(const std::string& name) {
  settings.currentPetName = name;
  ASSERT_TRUE(WriteCurrentPet(d_, name).ok());
}

std::string CallPetFixture::CurrentOnDisk() const {
  CurrentPetRead r = ReadCurrentPet(d_);
  if (r.state == CurrentPetRead::State::Missing) return "-";
  if (r.state == CurrentPetRead::State::Unreadable) return "?";
  return r.name;
}

CallOutcome CallPetFixture::Call(int row) {
  CallPetContext context{settings, store, ui, nullptr, processes, pets, row};
  context.currentPetUnreadable = currentPetUnreadable;
  return CallPet(context);
}

CallOutcome CallPetFixture::CallByName(const std::string& name) {
  for (std::size_t i = 0; i < pets.size(); ++i)
    if (pets[i].name == name) return Call(static_cast<int>(i));
  ADD_FAILURE() << "no row for " << name;
  return CallOutcome::NoSettingsFile;
}

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
}  // namespace

void SetItem(Files& model, const std::string& item, const Files& content) {
  for (const auto& [name, bytes] : ItemOf(model, item)) model.erase(PathOf(item, name));
  MergeItem(model, item, content);
}

void MergeItem(Files& model, const std::string& item, const Files& content) {
  for (const auto& [name, bytes] : content) model[PathOf(item, name)] = bytes;
}

namespace {
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
std::string CopyOf(const std::string& item, const std::string& pet, ShareFlags flags) {
  int kind = KindOf(item);
  return kind >= 0 && flags[static_cast<std::size_t>(kind)] ? "共有/" + item : pet + "_" + item;
}
}  // namespace

void ModelPutAway(Files& model, const std::string& pet, ShareFlags flags) {
  for (const std::string& item : AllItems())
    MergeItem(model, CopyOf(item, pet, flags), ItemOf(model, item));
}

void ModelBringIn(Files& model, const std::string& pet, ShareFlags flags) {
  for (const std::string& item : AllItems())
    SetItem(model, item, ItemOf(model, CopyOf(item, pet, flags)));
}

}  // namespace lup::test
