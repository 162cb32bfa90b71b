#include "core/listfiles.h"

#include <climits>
#include <system_error>

#include "core/fileops.h"
#include "core/fsquery.h"
#include "platform/osfile.h"
#include "core/petname.h"
#include "base/text.h"
#include "base/unicode.h"
#include "base/codepage.h"

namespace lup {
namespace fs = std::filesystem;

// ---- the record convention ------------------------------------------------

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

RawRecord ParseLine(std::string_view line) {
  RawRecord record;
  std::size_t i = 0;
  for (;;) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    RawField field;
    if (i < line.size() && line[i] == '"') {
      field.quoted = true;
      std::size_t close = line.find('"', i + 1);
      if (close == std::string_view::npos) {
        field.bytes = std::string(line.substr(i + 1));
        field.closed = false;
        record.push_back(std::move(field));
        return record;
      }
      field.bytes = std::string(line.substr(i + 1, close - i - 1));
      // Anything between the closing quote and the next comma is not part of it.
      std::size_t comma = line.find(',', close + 1);
      record.push_back(std::move(field));
      if (comma == std::string_view::npos) return record;
      i = comma + 1;
    } else {
      std::size_t comma = line.find(',', i);
      std::string_view text =
          line.substr(i, comma == std::string_view::npos ? std::string_view::npos : comma - i);
      field.bytes = std::string(Trim(text));
      record.push_back(std::move(field));
      if (comma == std::string_view::npos) return record;
      i = comma + 1;
    }
  }
}

}  // namespace

ParsedList ParseRecords(std::string_view bytes) {
  ParsedList out;
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    out.utf8 = true;
    bytes.remove_prefix(3);
  }
  std::size_t start = 0;
  while (start <= bytes.size()) {
    std::size_t end = bytes.find_first_of("\r\n", start);
    std::string_view line =
        bytes.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (!Trim(line).empty()) out.records.push_back(ParseLine(line));
    if (end == std::string_view::npos) break;
    // CR LF counts as one line end.
    start = end + ((bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') ? 2 : 1);
  }
  return out;
}

std::optional<std::string> FieldText(const RawField& f, bool utf8) {
  if (!f.closed) return std::nullopt;
  if (f.bytes.empty()) return std::string();
  if (utf8) {
    if (!IsValidUtf8(f.bytes)) return std::nullopt;
    return f.bytes;
  }
  return Cp932ToUtf8(f.bytes);
}

std::optional<long> FieldInt(const RawField& f) {
  if (!f.closed) return std::nullopt;
  // Blanks around the number belong to the field, not to the number.
  const std::optional<int> value = ParseDecimal(Trim(f.bytes));
  if (!value) return std::nullopt;
  return *value;
}

std::optional<bool> FieldBool(const RawField& f) {
  if (!f.closed) return std::nullopt;
  std::string upper = UpperCase(Trim(f.bytes));
  if (upper == "#TRUE#") return true;
  if (upper == "#FALSE#") return false;
  return std::nullopt;
}

void RecordWriter::Separator() {
  if (fieldInLine_) bytes_.push_back(',');
  fieldInLine_ = true;
}

bool RecordWriter::Text(std::string_view utf8) {
  // A quote or a line break would end the field early: such text cannot be
  // written in this convention.
  if (utf8.find_first_of("\"\r\n") != std::string_view::npos) {
    ok_ = false;
    return false;
  }
  std::optional<std::string> cp932 =
      utf8.empty() ? std::optional<std::string>(std::string()) : Utf8ToCp932(utf8);
  if (!cp932) {
    ok_ = false;
    return false;
  }
  Separator();
  bytes_ += '"';
  bytes_ += *cp932;
  bytes_ += '"';
  return true;
}

void RecordWriter::Int(long value) {
  Separator();
  bytes_ += std::to_string(value);
}

void RecordWriter::Bool(bool value) {
  Separator();
  bytes_ += value ? "#TRUE#" : "#FALSE#";
}

void RecordWriter::EndRecord() {
  bytes_ += "\r\n";
  fieldInLine_ = false;
}

// ---- the list files -------------------------------------------------------

fs::path CurrentPetFile(const fs::path& d) { return d / "lupina.dat"; }
fs::path SpecialMarksFile(const fs::path& d) { return d / "lupina2.dat"; }
fs::path ShareListFile(const fs::path& d) { return d / "lupina3.dat"; }

namespace {

// Reads a list file: false when it does not exist as a file; `error` holds a
// read failure of an existing one.
bool ReadListFile(const fs::path& path, ParsedList* parsed, OpResult* error) {
  // A folder under the list's name holds no list: as missing (writing the
  // list there fails and is reported).
  if (!FileExists(path)) return false;
  std::string bytes;
  if (OpResult read = ReadFileBytes(path, &bytes); !read.ok()) {
    *error = read;
    return true;
  }
  *parsed = ParseRecords(bytes);
  return true;
}

// A record's name, when it is text that can name a pet.
std::optional<std::string> UsableName(const RawRecord& record, bool utf8) {
  if (record.empty()) return std::nullopt;
  std::optional<std::string> name = FieldText(record[0], utf8);
  if (!name || !IsSafeNamePart(*name)) return std::nullopt;
  return name;
}

OpResult WriteRecords(const fs::path& path, const RecordWriter& writer) {
  if (!writer.ok()) return OpResult::Fail(Action::Write, MakeError(CoreError::NotCp932), path);
  return Fs().Write(path, writer.bytes());
}

}  // namespace

CurrentPetRead ReadCurrentPet(const fs::path& d) {
  CurrentPetRead out;
  ParsedList parsed;
  if (!ReadListFile(CurrentPetFile(d), &parsed, &out.error)) return out;
  if (!out.error.ok()) {
    out.state = CurrentPetRead::State::Unreadable;
    return out;
  }
  if (parsed.records.empty()) {
    out.state = CurrentPetRead::State::Ok;
    return out;
  }
  std::optional<std::string> name = UsableName(parsed.records[0], parsed.utf8);
  if (!name) {
    out.state = CurrentPetRead::State::Unreadable;
    return out;
  }
  out.state = CurrentPetRead::State::Ok;
  out.name = *name;
  return out;
}

OpResult WriteCurrentPet(const fs::path& d, std::string_view petName) {
  RecordWriter writer;
  writer.Text(petName);
  writer.EndRecord();
  return WriteRecords(CurrentPetFile(d), writer);
}

ShareListRead ReadShareList(const fs::path& d) {
  ShareListRead out;
  ParsedList parsed;
  out.exists = ReadListFile(ShareListFile(d), &parsed, &out.error);
  for (const RawRecord& raw : parsed.records) {
    ShareRecord record;
    std::optional<std::string> name = UsableName(raw, parsed.utf8);
    record.usable = name.has_value();
    if (name) record.name = *name;
    for (int i = 0; i < 4; ++i) {
      std::optional<long> flag;
      if (raw.size() > static_cast<std::size_t>(i + 1)) flag = FieldInt(raw[i + 1]);
      if (flag && *flag >= SHRT_MIN && *flag <= SHRT_MAX) {
        record.flags[i] = static_cast<int>(*flag);
      } else {
        record.flags[i] = 0;
        record.complete = false;
      }
    }
    out.records.push_back(record);
  }
  return out;
}

OpResult ShareListMissing(const fs::path& d) {
  return OpResult::Fail(Action::Read, std::make_error_code(std::errc::no_such_file_or_directory),
                        ShareListFile(d));
}

OpResult WriteShareList(const fs::path& d, const std::vector<ShareRecord>& records) {
  RecordWriter writer;
  for (const ShareRecord& record : records) {
    writer.Text(record.name);
    for (int flag : record.flags) writer.Int(flag);
    writer.EndRecord();
  }
  return WriteRecords(ShareListFile(d), writer);
}

std::optional<ShareFlags> FindShareFlags(const std::vector<ShareRecord>& records,
                                         std::string_view petName) {
  for (const ShareRecord& record : records)
    if (record.usable && SamePetName(record.name, petName)) return record.flags;
  return std::nullopt;
}

SpecialMarksRead ReadSpecialMarks(const fs::path& d) {
  SpecialMarksRead out;
  ParsedList parsed;
  out.exists = ReadListFile(SpecialMarksFile(d), &parsed, &out.error);
  for (const RawRecord& raw : parsed.records) {
    SpecialMark mark;
    std::optional<std::string> name = UsableName(raw, parsed.utf8);
    mark.usable = name.has_value();
    if (name) mark.name = *name;
    std::optional<bool> patched;
    if (raw.size() > 1) patched = FieldBool(raw[1]);
    mark.patched = patched.value_or(false);
    out.records.push_back(mark);
  }
  return out;
}

OpResult WriteSpecialMarks(const fs::path& d, const std::vector<SpecialMark>& records) {
  RecordWriter writer;
  for (const SpecialMark& mark : records) {
    writer.Text(mark.name);
    writer.Bool(mark.patched);
    writer.EndRecord();
  }
  return WriteRecords(SpecialMarksFile(d), writer);
}

std::optional<bool> FindSpecialMark(const std::vector<SpecialMark>& records,
                                    std::string_view petName) {
  for (const SpecialMark& mark : records)
    if (mark.usable && SamePetName(mark.name, petName)) return mark.patched;
  return std::nullopt;
}

}  // namespace lup
