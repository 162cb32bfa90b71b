// The data lock on Windows: a named mutex per host folder, which the system
// gives to the next waiter when the program holding it ends without
// releasing it; beside it a small named memory that says which program
// holds it, gone with the last handle to it.
#include <windows.h>

#include "platform/data_lock_native.h"
#include "platform/win32/wide.h"

namespace lup::native {
namespace {

constexpr DWORD kHolderBytes = 256;

std::wstring MutexName(const std::string& key) { return L"Local\\LupinaData-" + Wide(key); }
std::wstring HolderName(const std::string& key) { return L"Local\\LupinaDataHolder-" + Wide(key); }

HANDLE AsHandle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

std::string ReadHolder(const std::string& key) {
  HANDLE mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, HolderName(key).c_str());
  if (!mapping) return {};
  std::string holder;
  if (const auto* view = static_cast<const wchar_t*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, kHolderBytes))) {
    std::wstring name(view, wcsnlen(view, kHolderBytes / sizeof(wchar_t)));
    holder = Narrow(name);
    UnmapViewOfFile(view);
  }
  CloseHandle(mapping);
  return holder;
}

}  // namespace

bool Acquire(const std::string& key, std::string_view program, std::chrono::milliseconds wait,
             Lock* lock, std::string* holder) {
  HANDLE mutex = CreateMutexW(nullptr, FALSE, MutexName(key).c_str());
  if (!mutex) return false;  // the name is taken by an object of another kind
  const DWORD waited = WaitForSingleObject(mutex, static_cast<DWORD>(wait.count()));
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    *holder = ReadHolder(key);
    CloseHandle(mutex);
    return false;
  }
  // Ours (an abandoned one too: its holder ended without releasing it).
  HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kHolderBytes,
                                      HolderName(key).c_str());
  if (mapping) {
    if (auto* view = static_cast<wchar_t*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, kHolderBytes))) {
      const std::wstring name = Wide(program).substr(0, kHolderBytes / sizeof(wchar_t) - 1);
      std::copy(name.begin(), name.end(), view);
      view[name.size()] = L'\0';
      UnmapViewOfFile(view);
    }
  }
  lock->handle = reinterpret_cast<std::intptr_t>(mutex);
  lock->marker = reinterpret_cast<std::intptr_t>(mapping);
  return true;
}

void Release(const Lock& lock) {
  if (lock.marker) CloseHandle(AsHandle(lock.marker));
  if (lock.handle) {
    ReleaseMutex(AsHandle(lock.handle));
    CloseHandle(AsHandle(lock.handle));
  }
}

}  // namespace lup::native
