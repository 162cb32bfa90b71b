// What decides the host's view of its folder, and the switch that makes the
// raw file layer resolve names as that view does (file_view.cpp).
#include "platform/host_view.h"

#include <mutex>
#include <utility>

namespace lup::os {
namespace {

using Seam = std::function<HostViewFacts(const std::filesystem::path&, const std::filesystem::path&)>;

Seam& TheSeam() {
  static Seam seam;
  return seam;
}

class ViewCategory : public std::error_category {
 public:
  const char* name() const noexcept override { return "lupina.view"; }
  std::string message(int) const override { return "the name lies in the folder this user cannot change"; }
};

const ViewCategory& TheViewCategory() {
  static const ViewCategory category;
  return category;
}

}  // namespace

std::error_code InRealFolderError() { return std::error_code(1, TheViewCategory()); }

bool IsInRealFolderError(const std::error_code& error) { return error.category() == TheViewCategory(); }

void SetHostViewSeam(Seam seam) { TheSeam() = std::move(seam); }

HostViewFacts LookAtHostView(const std::filesystem::path& hostFolder,
                             const std::filesystem::path& hostProgram) {
  if (const Seam& seam = TheSeam()) return seam(hostFolder, hostProgram);
  return detail::SystemHostView(hostFolder, hostProgram);
}

namespace {

struct Decided {
  std::mutex lock;
  std::filesystem::path folder;
  HostView view = HostView::kReal;
};

Decided& TheDecided() {
  static Decided decided;
  return decided;
}

}  // namespace

void UseHostView(const std::filesystem::path& folder, HostView view, const std::filesystem::path& store) {
  Decided& d = TheDecided();
  {
    std::lock_guard<std::mutex> hold(d.lock);
    d.folder = folder;
    d.view = view;
  }
  if (view == HostView::kVirtualStore)
    UseVirtualStore(folder, store);
  else
    UseVirtualStore({}, {});
}

HostView HostViewInUse(const std::filesystem::path& folder) {
  Decided& d = TheDecided();
  std::lock_guard<std::mutex> hold(d.lock);
  return !folder.empty() && folder == d.folder ? d.view : HostView::kReal;
}

HostView HostViewOf(const HostViewFacts& facts) {
  if (!facts.protectedFolder || facts.store.empty()) return HostView::kReal;
  // Windows never redirects an elevated program, nor one it starts.
  if (facts.elevated) return facts.storeExists ? HostView::kElevatedBesideStore : HostView::kReal;
  // A user who can write to D (its permissions widened, or UAC off) has
  // the host write there itself.
  if (facts.virtualization && facts.hostRedirected && !facts.folderWritable) return HostView::kVirtualStore;
  return HostView::kReal;
}

}  // namespace lup::os
