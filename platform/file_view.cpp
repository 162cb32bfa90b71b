// The host's view of its folder, applied to every name of the raw file
// layer (see file_view.h for the rules).
#include "platform/file_view.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>

#include "base/text.h"
#include "base/unicode.h"
#include "platform/host_view.h"

namespace lup::os {
namespace {

namespace fs = std::filesystem;

struct ViewState {
  fs::path real;     // D, as the settings give it
  fs::path store;    // its VirtualStore copy
  fs::path refused;  // tests: changes here fail
};

std::mutex& StateLock() {
  static std::mutex lock;
  return lock;
}

std::shared_ptr<const ViewState>& StateSlot() {
  static std::shared_ptr<const ViewState> state;
  return state;
}

std::shared_ptr<const ViewState> State() {
  std::lock_guard<std::mutex> hold(StateLock());
  return StateSlot();
}

void Change(const std::function<void(ViewState&)>& edit) {
  std::lock_guard<std::mutex> hold(StateLock());
  auto next = std::make_shared<ViewState>(StateSlot() ? *StateSlot() : ViewState{});
  edit(*next);
  if (next->real.empty() && next->refused.empty())
    StateSlot().reset();
  else
    StateSlot() = std::move(next);
}



// The folders of `storeName` made in the store, each one that the view has
// (in the real folder or already in the store) and the store lacks.
void MakeStoreFolders(const ViewState& state, const fs::path& rest) {
  // The store's own folder and those above it (in the user's profile).
  std::vector<fs::path> missing;
  for (fs::path p = state.store; !p.empty() && !raw::Exists(p); p = p.parent_path()) {
    missing.push_back(p);
    if (p == p.parent_path()) break;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) raw::MakeFolder(*it);
  fs::path real = state.real;
  fs::path store = state.store;
  const fs::path folders = rest.parent_path();
  for (const fs::path& part : folders) {
    if (part.empty()) continue;
    real /= part;
    store /= part;
    if (raw::IsFolder(store)) continue;
    if (!raw::IsFolder(real)) return;  // the view lacks it: the step fails as it would
    raw::MakeFolder(store);
  }
}

// A file changed in place that only the real folder has: Windows copies it
// to the store first and changes the copy.
std::error_code CopyToStore(const fs::path& real, const fs::path& store) {
  std::string bytes;
  if (std::error_code e = ReadWhole(real, &bytes)) return e;
  const fs::path temporary = store.parent_path() / (NameText(store) + ".lupina-copy");
  File out;
  std::error_code e = CreateNew(temporary, &out);
  if (!e) e = out.WriteAll(bytes.data(), bytes.size());
  if (!e) e = out.Sync();
  if (std::error_code closed = out.Close(); !e) e = closed;
  if (!e) e = RenameNoReplace(temporary, store);
  if (e) DeleteOneFile(temporary);
  return e;
}

}  // namespace

void UseVirtualStore(const fs::path& real, const fs::path& store) {
  Change([&](ViewState& s) {
    s.real = store.empty() ? fs::path() : real;
    s.store = real.empty() ? fs::path() : store;
  });
}

void RefuseChangesUnder(const fs::path& folder) {
  Change([&](ViewState& s) { s.refused = folder; });
}

namespace view {

std::error_code Resolve(const fs::path& name, Use use, fs::path* resolved) {
  *resolved = name;
  const std::shared_ptr<const ViewState> state = State();
  if (!state) return {};
  fs::path rest;
  if (!state->real.empty() && LiesUnder(name, state->real, &rest)) {
    const fs::path store = rest.empty() ? state->store : state->store / rest;
    const fs::path real = name;
    const bool inStore = raw::Exists(store);
    const bool inReal = raw::Exists(real);
    switch (use) {
      case Use::kLook:
        *resolved = inStore ? store : real;
        break;
      case Use::kMake:
        if (inStore || inReal) return std::make_error_code(std::errc::file_exists);
        MakeStoreFolders(*state, rest);
        *resolved = store;
        break;
      case Use::kWriteOver:
        MakeStoreFolders(*state, rest);
        *resolved = store;
        break;
      case Use::kEdit:
        if (!inStore && inReal) {
          MakeStoreFolders(*state, rest);
          if (std::error_code e = CopyToStore(real, store)) return e;
        }
        *resolved = inStore || inReal ? store : real;
        break;
      case Use::kRemove:
        // What only the real folder holds stays: this user cannot remove it
        // there, and a copy removed from the store would let it show again.
        if (inReal) return InRealFolderError();
        *resolved = store;
        break;
    }
  }
  if (use != Use::kLook && LiesUnder(*resolved, state->refused, nullptr))
    return std::make_error_code(std::errc::permission_denied);
  return {};
}

std::error_code List(const fs::path& folder, std::vector<FolderItem>* items, bool stamps) {
  items->clear();
  const std::shared_ptr<const ViewState> state = State();
  fs::path rest;
  if (!state || state->real.empty() || !LiesUnder(folder, state->real, &rest)) return raw::List(folder, items, stamps);
  const fs::path store = rest.empty() ? state->store : state->store / rest;
  std::vector<FolderItem> fromStore;
  const std::error_code storeError = raw::List(store, &fromStore, stamps);
  const std::error_code realError = raw::List(folder, items, stamps);
  if (storeError && raw::Exists(store)) return storeError;
  if (realError && raw::Exists(folder)) return realError;
  if (storeError && realError) return realError;  // neither is there
  if (realError) items->clear();
  // The store's entry wins for a name both have.
  std::vector<std::u16string> storeNames;
  storeNames.reserve(fromStore.size());
  for (const FolderItem& item : fromStore) storeNames.push_back(UpcasedUtf16(PathText(item.name)));
  std::sort(storeNames.begin(), storeNames.end());
  items->erase(std::remove_if(items->begin(), items->end(),
                              [&](const FolderItem& item) {
                                return std::binary_search(storeNames.begin(), storeNames.end(),
                                                          UpcasedUtf16(PathText(item.name)));
                              }),
               items->end());
  items->insert(items->end(), fromStore.begin(), fromStore.end());
  return {};
}

bool InRealFolder(const fs::path& resolved) {
  const std::shared_ptr<const ViewState> state = State();
  return state && !state->real.empty() && LiesUnder(resolved, state->real, nullptr);
}

}  // namespace view
}  // namespace lup::os
