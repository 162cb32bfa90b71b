// What the system tells about the host folder and the host program. Wine has
// no UAC: its answers on elevation and virtualization are not checked here.
#include <windows.h>

#include <cstring>

#include <gtest/gtest.h>

#include "platform/host_view.h"
#include "platform/program.h"
#include "platform/test_support.h"
#include "platform/win32/host_view_win32.h"

namespace lup {
namespace {

namespace fs = std::filesystem;
using os::detail::IsRedirectedHostProgram;
using os::detail::IsUnderFolder;
using os::detail::VirtualStoreFolderOf;
using testing::TempFolder;

std::wstring Env(const wchar_t* name) {
  wchar_t value[MAX_PATH] = {};
  const DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH);
  return n > 0 && n < MAX_PATH ? value : L"";
}

template <typename T>
void Put(std::string& image, std::size_t at, const T& value) {
  if (image.size() < at + sizeof value) image.resize(at + sizeof value);
  std::memcpy(image.data() + at, &value, sizeof value);
}

// A program image that does nothing: its headers (`Nt` with `magic`) and,
// with a manifest, a resource section holding it as RT_MANIFEST 1.
template <typename Nt>
std::string ImageOf(WORD machine, WORD magic, std::string_view manifest) {
  constexpr DWORD kRva = 0x1000, kRaw = 0x200, kTree = 0x58;
  std::string image(kRaw, '\0');
  IMAGE_DOS_HEADER dos{};
  dos.e_magic = IMAGE_DOS_SIGNATURE;
  dos.e_lfanew = sizeof dos;
  Nt nt{};
  constexpr bool k32 = sizeof nt == sizeof(IMAGE_NT_HEADERS32);
  nt.Signature = IMAGE_NT_SIGNATURE;
  nt.FileHeader.Machine = machine;
  nt.FileHeader.SizeOfOptionalHeader = sizeof nt.OptionalHeader;
  nt.FileHeader.Characteristics = IMAGE_FILE_EXECUTABLE_IMAGE |
                                  (k32 ? IMAGE_FILE_32BIT_MACHINE : IMAGE_FILE_LARGE_ADDRESS_AWARE);
  auto& o = nt.OptionalHeader;
  o.Magic = magic;
  o.ImageBase = 0x400000;
  o.SectionAlignment = kRva;
  o.FileAlignment = kRaw;
  o.MajorOperatingSystemVersion = o.MajorSubsystemVersion = 4;
  o.SizeOfHeaders = kRaw;
  o.SizeOfImage = kRva;
  o.Subsystem = IMAGE_SUBSYSTEM_WINDOWS_GUI;
  o.NumberOfRvaAndSizes = IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
  if (!manifest.empty()) {
    const DWORD size = kTree + static_cast<DWORD>(manifest.size());
    nt.FileHeader.NumberOfSections = 1;
    o.SizeOfImage = kRva + ((size + kRva - 1) & ~(kRva - 1));
    o.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE] = {kRva, size};
    IMAGE_SECTION_HEADER section{};
    std::memcpy(section.Name, ".rsrc", 5);
    section.Misc.VirtualSize = size;
    section.VirtualAddress = kRva;
    section.SizeOfRawData = (size + kRaw - 1) & ~(kRaw - 1);
    section.PointerToRawData = kRaw;
    section.Characteristics = IMAGE_SCN_CNT_INITIALIZED_DATA | IMAGE_SCN_MEM_READ;
    Put(image, sizeof dos + sizeof nt, section);
    // Directories of one id entry each, and the data entry at the end.
    const DWORD tree[] = {
        0, 0, 0, 0x10000, 24,    0x80000018,  // type RT_MANIFEST -> names at 0x18
        0, 0, 0, 0x10000, 1,     0x80000030,  // name 1 -> languages at 0x30
        0, 0, 0, 0x10000, 0x409, 0x48,        // English -> the data entry at 0x48
        kRva + kTree, static_cast<DWORD>(manifest.size()), 0, 0};
    static_assert(sizeof tree == kTree);
    Put(image, kRaw, tree);
    image.resize(kRaw + section.SizeOfRawData);
    std::memcpy(image.data() + kRaw + kTree, manifest.data(), manifest.size());
  }
  Put(image, 0, dos);
  Put(image, sizeof dos, nt);
  return image;
}

std::string Image(WORD machine, std::string_view manifest = {}) {
  if (machine == IMAGE_FILE_MACHINE_I386)
    return ImageOf<IMAGE_NT_HEADERS32>(machine, IMAGE_NT_OPTIONAL_HDR32_MAGIC, manifest);
  return ImageOf<IMAGE_NT_HEADERS64>(machine, IMAGE_NT_OPTIONAL_HDR64_MAGIC, manifest);
}

constexpr std::string_view kNoLevel = R"(<assembly><assemblyIdentity name="Host"/></assembly>)";
constexpr std::string_view kAsInvoker =
    R"(<assembly><trustInfo><security><requestedPrivileges><requestedExecutionLevel )"
    R"(level="asInvoker"/></requestedPrivileges></security></trustInfo></assembly>)";

std::string Utf16(std::string_view ascii) {
  std::string out;
  for (char c : ascii) out += {c, '\0'};
  return out;
}

class HostProgram : public ::testing::Test {
 protected:
  bool Redirected(const std::string& bytes) {
    const fs::path exe = temp_ / ("host" + std::to_string(++written_) + ".exe");
    testing::WriteBytes(exe, bytes);
    return IsRedirectedHostProgram(exe);
  }
  TempFolder temp_{"host program"};
  int written_ = 0;
};

TEST_F(HostProgram, A32BitImageIsRedirectedUnlessItsManifestAsksForALevel) {
  EXPECT_TRUE(Redirected(Image(IMAGE_FILE_MACHINE_I386))) << "no manifest at all";
  EXPECT_TRUE(Redirected(Image(IMAGE_FILE_MACHINE_I386, kNoLevel)));
  EXPECT_FALSE(Redirected(Image(IMAGE_FILE_MACHINE_I386, kAsInvoker)));
  EXPECT_FALSE(Redirected(Image(IMAGE_FILE_MACHINE_I386, Utf16(kAsInvoker))));
}

TEST_F(HostProgram, OtherMachinesAreNeverRedirected) {
  EXPECT_FALSE(Redirected(Image(IMAGE_FILE_MACHINE_AMD64)));
  EXPECT_FALSE(IsRedirectedHostProgram(ProgramPath())) << "64-bit and asks for asInvoker";
}

TEST_F(HostProgram, MissingShortAndMalformedFilesAreNotRedirected) {
  EXPECT_FALSE(IsRedirectedHostProgram(temp_ / "missing.exe"));
  EXPECT_FALSE(IsRedirectedHostProgram(temp_.path()));
  EXPECT_FALSE(Redirected(""));
  EXPECT_FALSE(Redirected("MZ and then nothing of an image"));
  const std::string image = Image(IMAGE_FILE_MACHINE_I386);
  EXPECT_FALSE(Redirected(image.substr(0, sizeof(IMAGE_DOS_HEADER) + 4 + 2)))
      << "cut after the machine";
  for (const LONG at : {LONG{-64}, LONG{0x7FFFFFF0}}) {
    std::string moved = image;
    Put(moved, offsetof(IMAGE_DOS_HEADER, e_lfanew), at);
    EXPECT_FALSE(Redirected(moved)) << "NT headers at " << at;
  }
  std::string unsigned_ = image;
  unsigned_[sizeof(IMAGE_DOS_HEADER)] = 'X';
  EXPECT_FALSE(Redirected(unsigned_)) << "no PE signature";
  // The headers say i386, but the manifest's section lies past the end of
  // the file: Windows maps no such image, so no such host can run.
  EXPECT_FALSE(Redirected(Image(IMAGE_FILE_MACHINE_I386, kNoLevel).substr(0, 0x200)));
}

TEST(HostFolder, IsUnderAFolderOnWholeNamesWithoutLetterCase) {
  const std::wstring x86 = L"C:\\Program Files (x86)";
  EXPECT_TRUE(IsUnderFolder(x86, x86));
  EXPECT_TRUE(IsUnderFolder(x86 + L"\\So-net\\X", x86));
  EXPECT_TRUE(IsUnderFolder(L"c:\\PROGRAM FILES (X86)\\so-net", x86));
  EXPECT_TRUE(IsUnderFolder(L"C:\\Users\\ÄRGER\\x", L"C:\\Users\\ärger"));
  EXPECT_TRUE(IsUnderFolder(x86 + L"\\", x86));
  EXPECT_TRUE(IsUnderFolder(x86, x86 + L"\\"));
  EXPECT_TRUE(IsUnderFolder(L"C:/Program Files (x86)/So-net", x86));
  EXPECT_FALSE(IsUnderFolder(x86 + L"\\So-net", L"C:\\Program Files"))
      << "a sibling sharing the start";
  EXPECT_FALSE(IsUnderFolder(L"C:\\Program", L"C:\\Program Files"));
  EXPECT_FALSE(IsUnderFolder(x86, x86 + L"\\So-net"));
  EXPECT_FALSE(IsUnderFolder(L"D:\\Program Files (x86)", x86));
  EXPECT_FALSE(IsUnderFolder(x86, L"")) << "a folder the system did not name protects nothing";
}

TEST(HostFolder, VirtualStoreFolderDropsTheDrive) {
  const fs::path local = L"C:\\Users\\ルピナ\\AppData\\Local";
  const std::wstring store =
      L"C:\\Users\\ルピナ\\AppData\\Local\\VirtualStore\\Program Files (x86)\\So-net\\X";
  EXPECT_EQ(VirtualStoreFolderOf(L"C:\\Program Files (x86)\\So-net\\X", local).wstring(), store);
  EXPECT_EQ(VirtualStoreFolderOf(L"c:\\Program Files (x86)\\So-net\\X\\",
                                 L"C:\\Users\\ルピナ\\AppData\\Local\\")
                .wstring(),
            store);
  EXPECT_EQ(VirtualStoreFolderOf(L"\\\\server\\share\\So-net\\X", local), fs::path());
  EXPECT_EQ(VirtualStoreFolderOf(L"C:So-net\\X", local), fs::path());
  EXPECT_EQ(VirtualStoreFolderOf(L"So-net\\X", local), fs::path());
}

TEST(HostFolder, ATempFolderIsWritableUnprotectedAndHasItsStoreNamed) {
  TempFolder temp{"host folder"};
  const std::wstring full = temp.path().wstring();
  os::HostViewFacts facts = os::detail::SystemHostView(temp.path(), temp / "missing.exe");
  EXPECT_FALSE(facts.protectedFolder);
  EXPECT_FALSE(facts.hostRedirected);
  EXPECT_TRUE(facts.folderWritable);
  EXPECT_EQ(test::NamesIn(temp.path()), "") << "the file that showed it is gone again";
  ASSERT_EQ(full.substr(1, 2), L":\\");
  ASSERT_EQ(facts.store.wstring(), Env(L"LOCALAPPDATA") + L"\\VirtualStore" + full.substr(2));
  EXPECT_FALSE(facts.storeExists);

  // The store made, as the host's first redirected write would.
  fs::path top = facts.store;
  while (!fs::exists(top.parent_path())) top = top.parent_path();
  ASSERT_TRUE(fs::create_directories(facts.store));
  EXPECT_TRUE(os::detail::SystemHostView(temp.path(), {}).storeExists);
  fs::remove_all(top);
}

TEST(HostFolder, FoldersUnderProgramFilesAndWindowsAreProtected) {
  const std::wstring x86 = Env(L"ProgramFiles(x86)"), windows = Env(L"SystemRoot");
  ASSERT_FALSE(x86.empty());
  ASSERT_FALSE(windows.empty());
  const os::HostViewFacts missing =
      os::detail::SystemHostView(x86 + L"\\So-net\\ルピナ test missing", {});
  EXPECT_TRUE(missing.protectedFolder);
  EXPECT_FALSE(missing.folderWritable) << "no folder to write to";
  EXPECT_FALSE(missing.storeExists);
  EXPECT_TRUE(os::detail::SystemHostView(windows + L"\\System32", {}).protectedFolder);
  EXPECT_FALSE(os::detail::SystemHostView(x86 + L"\\..\\Users", {}).protectedFolder)
      << "the full path counts";
}

}  // namespace
}  // namespace lup
