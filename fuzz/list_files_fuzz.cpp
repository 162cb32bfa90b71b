// The readers of \lupina.dat, \lupina2.dat and \lupina3.dat on files of any
// bytes: the input is written as all three files of a host folder, each is
// read, what was read must be safe to use in a path, and what can be written
// back reads back the same.
#include <string>
#include <vector>

#include "core/listfiles.h"
#include "core/petname.h"
#include "tests/support/temp_folder.h"
#include "fuzz/fuzz_check.h"

namespace lup {
namespace {

// The host folder the input is written into, and one the readings are
// written back into.
struct Folders {
  test::TempFolder input, output;
};

void CheckName(bool usable, const std::string& name) {
  if (usable) FUZZ_CHECK(IsSafeNamePart(name));
  else FUZZ_CHECK(name.empty());
}

void CurrentPet(const std::filesystem::path& in, const std::filesystem::path& out, bool utf8) {
  const CurrentPetRead read = ReadCurrentPet(in);
  FUZZ_CHECK(read.error.ok());
  FUZZ_CHECK(read.state != CurrentPetRead::State::Missing);
  if (read.state != CurrentPetRead::State::Ok) {
    FUZZ_CHECK(read.name.empty());
    return;
  }
  FUZZ_CHECK(IsSafeNamePart(read.name));
  const OpResult written = WriteCurrentPet(out, read.name);
  // Only a name read from UTF-8 can be one that CP932 cannot hold.
  if (!utf8) FUZZ_CHECK(written.ok());
  if (!written.ok()) {
    FUZZ_CHECK(written.error == MakeError(CoreError::NotCp932));
    return;
  }
  const CurrentPetRead back = ReadCurrentPet(out);
  FUZZ_CHECK(back.state == CurrentPetRead::State::Ok && back.name == read.name);
}

// Reads one of the files of one record per pet, checks every record, writes
// the usable ones back as a whole new file and reads that again: the same
// names with the same values. `value` picks what a record says of its pet.
template <class Record, class Reader, class Writer, class Finder, class Value>
void RoundTrip(const std::filesystem::path& in, const std::filesystem::path& out,
               const ParsedList& parsed, Reader read, Writer write, Finder find, Value value) {
  const auto got = read(in);
  FUZZ_CHECK(got.exists && got.error.ok());
  FUZZ_CHECK(got.records.size() == parsed.records.size());
  std::vector<Record> usable;
  for (const Record& record : got.records) {
    CheckName(record.usable, record.name);
    if (!record.usable) continue;
    // The first record of a name is the one that counts.
    bool first = true;
    for (const Record& earlier : usable) first = first && earlier.name != record.name;
    const auto found = find(got.records, record.name);
    FUZZ_CHECK(found.has_value());
    if (first) FUZZ_CHECK(*found == value(record));
    usable.push_back(record);
  }
  const OpResult written = write(out, usable);
  if (!parsed.utf8) FUZZ_CHECK(written.ok());
  if (!written.ok()) return;
  const auto back = read(out);
  FUZZ_CHECK(back.exists && back.records.size() == usable.size());
  for (std::size_t i = 0; i < usable.size(); ++i) {
    FUZZ_CHECK(back.records[i].usable && back.records[i].name == usable[i].name);
    FUZZ_CHECK(value(back.records[i]) == value(usable[i]));
  }
}

void ShareList(const std::filesystem::path& in, const std::filesystem::path& out,
               const ParsedList& parsed) {
  for (const ShareRecord& record : ReadShareList(in).records) {
    bool anyZero = false;
    for (int flag : record.flags) {
      FUZZ_CHECK(flag >= -32768 && flag <= 32767);
      anyZero = anyZero || flag == 0;
    }
    // A flag that is missing or does not read is 0.
    if (!record.complete) FUZZ_CHECK(anyZero);
  }
  RoundTrip<ShareRecord>(in, out, parsed, ReadShareList, WriteShareList, FindShareFlags,
                         [](const ShareRecord& r) { return r.flags; });
}

void SpecialMarks(const std::filesystem::path& in, const std::filesystem::path& out,
                  const ParsedList& parsed) {
  RoundTrip<SpecialMark>(in, out, parsed, ReadSpecialMarks, WriteSpecialMarks, FindSpecialMark,
                         [](const SpecialMark& m) { return m.patched; });
}

}  // namespace
}  // namespace lup

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lup;
  static Folders folders;
  const std::string_view bytes = fuzz::Bytes(data, size);
  const auto& in = folders.input.path();
  for (const auto& file : {CurrentPetFile(in), SpecialMarksFile(in), ShareListFile(in)})
    test::WriteBytes(file, bytes);
  const ParsedList parsed = ParseRecords(bytes);
  CurrentPet(in, folders.output.path(), parsed.utf8);
  ShareList(in, folders.output.path(), parsed);
  SpecialMarks(in, folders.output.path(), parsed);
  return 0;
}
