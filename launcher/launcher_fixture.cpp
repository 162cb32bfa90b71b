#include "launcher/launcher_fixture.h"

#include "base/text.h"
#include "base/codepage.h"

namespace lup::test {

HostFolder::HostFolder() : d_(temp_ / "PostPet for Windows ver. 2.0") {
  std::filesystem::create_directories(d_);
  Write("PostPet20.exe", "host");
  store.Set(key::kPpDir, PathText(d_));
}

std::filesystem::path HostFolder::operator/(std::string_view utf8) const {
  std::filesystem::path p = d_;
  std::size_t start = 0;
  for (;;) {
    const std::size_t slash = utf8.find('/', start);
    p /= U8Path(utf8.substr(start, slash == std::string_view::npos ? slash : slash - start));
    if (slash == std::string_view::npos) return p;
    start = slash + 1;
  }
}

void HostFolder::AddPet(std::string_view name, std::string_view content) {
  Write(std::string(name) + "_PostPet設定.ppc", content);
}

void HostFolder::Write(std::string_view relative, std::string_view bytes) {
  const std::filesystem::path p = *this / relative;
  std::filesystem::create_directories(p.parent_path());
  WriteBytes(p, bytes);
}

std::string HostFolder::Read(std::string_view relative) const { return ReadBytes(*this / relative); }

bool HostFolder::Exists(std::string_view relative) const {
  return std::filesystem::exists(*this / relative);
}

std::string HostFolder::Cp932(std::string_view utf8) { return Utf8ToCp932(utf8).value_or("<not cp932>"); }

std::unique_ptr<Launcher> HostFolder::MakeLauncher(ui::Host& host, bool firstInstance) {
  LauncherEnv env{store, processes, host, temp_.path(), firstInstance, {}, VersionNumber{1, 6, 4}};
  auto launcher = std::make_unique<Launcher>(env);
  Launcher* self = launcher.get();
  launcher->env().callPet = [this, self](CallPetContext& c) {
    calls.push_back(RecordedCall{c.pets, c.called, !self->form().Enabled(), false});
    return CallOutcome::HostStarted;
  };
  return launcher;
}

}  // namespace lup::test
