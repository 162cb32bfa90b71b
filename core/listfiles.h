#pragma once
// The three list files in the host folder D and their record convention.
//
// A record is one line ending in CR LF; fields are separated by commas; text
// is in double quotes (no escaping), integers in decimal, true/false as
// #TRUE#/#FALSE#; the text is stored in CP932.
//
//   D\lupina.dat    one record: the current pet's name ("" = none)
//   D\lupina2.dat   "name",#TRUE#   per pet of the special-kind dialog
//   D\lupina3.dat   "name",0,1,0,0  per registered pet: its ShareFlags
//
// Reading never fails on bad content: blank lines are skipped, LF-only or
// CR-only line ends are taken as line ends, a UTF-8 byte-order mark makes the
// text be read as UTF-8, extra fields are ignored, a missing or unreadable
// field is missing data (flags 0, marks false). A name that cannot be read
// as text (bytes that are not CP932, an unterminated quote) or that could
// not be a pet's name (core/petname.h) is unusable: it never matches any pet.
// Writing is atomic through the funnel; a name CP932 cannot hold is refused
// with NotCp932 and nothing is written.
#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/pets.h"
#include "core/result.h"

namespace lup {

// ---- the record convention ------------------------------------------------

// One field as read: its raw bytes (without the quotes) and whether it was
// quoted. `closed` is false for a quoted field whose closing quote is missing.
struct RawField {
  std::string bytes;
  bool quoted = false;
  bool closed = true;
};
using RawRecord = std::vector<RawField>;

struct ParsedList {
  std::vector<RawRecord> records;  // one per non-blank line
  bool utf8 = false;               // the file began with a UTF-8 byte-order mark
};
ParsedList ParseRecords(std::string_view fileBytes);

// Typed views of a field; nullopt when the field does not read as that type.
// Text: decoded from CP932 (or UTF-8 after a byte-order mark) to UTF-8;
// nullopt for undecodable bytes or an unterminated quote.
std::optional<std::string> FieldText(const RawField& f, bool utf8);
std::optional<long> FieldInt(const RawField& f);     // [-]digits, spaces around
std::optional<bool> FieldBool(const RawField& f);    // #TRUE# / #FALSE#

// Builds records in CP932 with CR LF line ends.
class RecordWriter {
 public:
  // False (and the writer is spoiled) when CP932 cannot hold the text.
  bool Text(std::string_view utf8);
  void Int(long value);
  void Bool(bool value);
  void EndRecord();
  bool ok() const { return ok_; }
  const std::string& bytes() const { return bytes_; }

 private:
  void Separator();
  std::string bytes_;
  bool fieldInLine_ = false;
  bool ok_ = true;
};

// ---- the list files -------------------------------------------------------

std::filesystem::path CurrentPetFile(const std::filesystem::path& hostFolder);  // D\lupina.dat
std::filesystem::path SpecialMarksFile(const std::filesystem::path& hostFolder); // D\lupina2.dat
std::filesystem::path ShareListFile(const std::filesystem::path& hostFolder);   // D\lupina3.dat

// \lupina.dat
struct CurrentPetRead {
  enum class State {
    Missing,     // no file: no pet is current
    Ok,          // name holds the record ("" when no pet is current; also an
                 // empty file)
    Unreadable,  // the file exists but cannot be read, or its record is not a
                 // usable name: a pet may be current, but which is unknown
  };
  State state = State::Missing;
  std::string name;  // empty unless Ok
  OpResult error;    // Read failure, when the file exists but cannot be read
};
CurrentPetRead ReadCurrentPet(const std::filesystem::path& hostFolder);
OpResult WriteCurrentPet(const std::filesystem::path& hostFolder, std::string_view petName);

// \lupina3.dat
struct ShareRecord {
  std::string name;         // empty and unusable when the name cannot be read
  bool usable = true;       // false: never matches a pet
  ShareFlags flags{};       // missing or unreadable flags are 0
  bool complete = true;     // all four flags were read
};
struct ShareListRead {
  bool exists = false;
  std::vector<ShareRecord> records;  // in file order
  OpResult error;                    // Read failure when it exists but cannot be read
};
ShareListRead ReadShareList(const std::filesystem::path& hostFolder);
// The failure that a missing \lupina3.dat is, for those who cannot go on
// without it: a Read of the file, not found.
OpResult ShareListMissing(const std::filesystem::path& hostFolder);
// Writes the records (name and four flags each) as the whole new file; no
// records writes an empty file.
OpResult WriteShareList(const std::filesystem::path& hostFolder,
                        const std::vector<ShareRecord>& records);
// The flags of the first usable record whose name is `petName` (SamePetName).
std::optional<ShareFlags> FindShareFlags(const std::vector<ShareRecord>& records,
                                         std::string_view petName);

// \lupina2.dat
struct SpecialMark {
  std::string name;
  bool usable = true;
  bool patched = false;  // uses the patched host executable; unreadable = false
};
struct SpecialMarksRead {
  bool exists = false;
  std::vector<SpecialMark> records;
  OpResult error;
};
SpecialMarksRead ReadSpecialMarks(const std::filesystem::path& hostFolder);
OpResult WriteSpecialMarks(const std::filesystem::path& hostFolder,
                           const std::vector<SpecialMark>& records);
// The mark of the first usable record whose name is `petName` (SamePetName).
std::optional<bool> FindSpecialMark(const std::vector<SpecialMark>& records,
                                    std::string_view petName);

}  // namespace lup
