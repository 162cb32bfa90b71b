// Shortcut files through the Unicode shell-link object: made into memory with
// its stream interface (the caller writes them atomically), read back with its
// file interface.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <functional>
#include <vector>

#include "platform/shell.h"
#include "platform/win32/wide.h"

namespace lup {

namespace {

// A COM interface pointer released by its owner.
template <typename T>
class Com {
 public:
  Com() = default;
  ~Com() {
    if (p_) p_->Release();
  }
  Com(const Com&) = delete;
  Com& operator=(const Com&) = delete;
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  void** out() { return reinterpret_cast<void**>(&p_); }

 private:
  T* p_ = nullptr;
};

// COM for the calls of one function: programs with windows have it already
// (the UI host starts it); tests and tools may not.
class ComScope {
 public:
  ComScope() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
  ~ComScope() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  HRESULT hr_;
};

std::error_code ErrorOf(HRESULT hr) {
  if (HRESULT_FACILITY(hr) == FACILITY_WIN32) {
    return std::error_code(static_cast<int>(HRESULT_CODE(hr)), std::system_category());
  }
  return std::error_code(static_cast<int>(hr), std::system_category());
}

HRESULT MakeLink(Com<IShellLinkW>& link) {
  return CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.out());
}

std::wstring Buffered(const std::function<HRESULT(wchar_t*, int)>& get, HRESULT* hr) {
  std::vector<wchar_t> buffer(32768, L'\0');
  *hr = get(buffer.data(), static_cast<int>(buffer.size()));
  return std::wstring(buffer.data());
}

// The target from the link's item list, whose names are Unicode; the path
// the link also keeps is in the ANSI code page (a system with another code
// page than the link's maker reads question marks there).
std::filesystem::path TargetOf(IShellLinkW* link, HRESULT* hr) {
  PIDLIST_ABSOLUTE items = nullptr;
  if (SUCCEEDED(link->GetIDList(&items)) && items) {
    std::vector<wchar_t> buffer(32768, L'\0');
    const BOOL ok = SHGetPathFromIDListW(items, buffer.data());
    CoTaskMemFree(items);
    if (ok && buffer[0]) return std::filesystem::path(std::wstring(buffer.data()));
  }
  return Buffered([&](wchar_t* b, int n) { return link->GetPath(b, n, nullptr, SLGP_RAWPATH); }, hr);
}

}  // namespace

ShortcutBytes EncodeShortcut(const Shortcut& s) {
  ShortcutBytes out;
  if (s.target.empty()) {
    out.error = std::make_error_code(std::errc::invalid_argument);
    return out;
  }
  ComScope com;
  Com<IShellLinkW> link;
  HRESULT hr = MakeLink(link);
  // SetPath answers S_FALSE for a target that does not exist (yet): the
  // link is made all the same.
  if (SUCCEEDED(hr)) hr = link->SetPath(s.target.wstring().c_str());
  if (SUCCEEDED(hr) && !s.workingFolder.empty()) hr = link->SetWorkingDirectory(s.workingFolder.wstring().c_str());
  if (SUCCEEDED(hr) && !s.arguments.empty()) hr = link->SetArguments(Wide(s.arguments).c_str());
  if (SUCCEEDED(hr) && !s.iconFile.empty()) hr = link->SetIconLocation(s.iconFile.wstring().c_str(), s.iconIndex);
  if (SUCCEEDED(hr)) hr = link->SetHotkey(static_cast<WORD>(s.hotKey));
  if (SUCCEEDED(hr)) hr = link->SetShowCmd(s.showCommand);
  Com<IPersistStream> persist;
  if (SUCCEEDED(hr)) hr = link->QueryInterface(IID_IPersistStream, persist.out());
  Com<IStream> stream;
  if (SUCCEEDED(hr)) hr = CreateStreamOnHGlobal(nullptr, TRUE, reinterpret_cast<IStream**>(stream.out()));
  if (SUCCEEDED(hr)) hr = persist->Save(stream.get(), TRUE);
  STATSTG stat{};
  if (SUCCEEDED(hr)) hr = stream->Stat(&stat, STATFLAG_NONAME);
  if (SUCCEEDED(hr)) hr = stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
  if (SUCCEEDED(hr)) {
    out.bytes.resize(static_cast<std::size_t>(stat.cbSize.QuadPart));
    ULONG got = 0;
    hr = stream->Read(out.bytes.data(), static_cast<ULONG>(out.bytes.size()), &got);
    if (SUCCEEDED(hr) && got != out.bytes.size()) hr = E_FAIL;
  }
  if (FAILED(hr)) {
    out.bytes.clear();
    out.error = ErrorOf(hr);
  }
  return out;
}

std::optional<Shortcut> ReadShortcut(const std::filesystem::path& path, std::error_code* error) {
  ComScope com;
  Com<IShellLinkW> link;
  HRESULT hr = MakeLink(link);
  Com<IPersistFile> file;
  if (SUCCEEDED(hr)) hr = link->QueryInterface(IID_IPersistFile, file.out());
  if (SUCCEEDED(hr)) hr = file->Load(path.wstring().c_str(), STGM_READ);
  Shortcut s;
  if (SUCCEEDED(hr)) s.target = TargetOf(link.get(), &hr);
  if (SUCCEEDED(hr)) s.arguments = Narrow(Buffered([&](wchar_t* b, int n) { return link->GetArguments(b, n); }, &hr));
  if (SUCCEEDED(hr)) {
    s.workingFolder = Buffered([&](wchar_t* b, int n) { return link->GetWorkingDirectory(b, n); }, &hr);
  }
  int index = 0;
  if (SUCCEEDED(hr)) {
    s.iconFile = Buffered([&](wchar_t* b, int n) { return link->GetIconLocation(b, n, &index); }, &hr);
  }
  s.iconIndex = index;
  WORD hotKey = 0;
  if (SUCCEEDED(hr)) hr = link->GetHotkey(&hotKey);
  s.hotKey = hotKey;
  int show = 0;
  if (SUCCEEDED(hr)) hr = link->GetShowCmd(&show);
  s.showCommand = KnownShowCommand(show);
  if (FAILED(hr)) {
    if (error) *error = ErrorOf(hr);
    return std::nullopt;
  }
  if (error) error->clear();
  return s;
}

std::filesystem::path SystemFolder() {
  wchar_t buffer[MAX_PATH + 1] = {};
  const UINT n = GetSystemDirectoryW(buffer, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) return {};
  return std::filesystem::path(std::wstring(buffer, n));
}

bool IsArchiveOnlyFile(const std::filesystem::path& path) {
  return GetFileAttributesW(path.wstring().c_str()) == FILE_ATTRIBUTE_ARCHIVE;
}

}  // namespace lup
