// The record convention of the list files, byte by byte: any bytes are split
// into records and fields, every field is read as text, number and
// true/false, and what was read is written back with the record writer and
// must read back the same.
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "core/listfiles.h"
#include "base/unicode.h"
#include "fuzz/fuzz_check.h"
#include "base/codepage.h"

namespace lup {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The shape of a field as the parser must have cut it.
void CheckField(const RawField& f, bool last) {
  FUZZ_CHECK(f.bytes.find_first_of("\r\n") == std::string::npos);
  if (f.quoted) {
    FUZZ_CHECK(f.bytes.find('"') == std::string::npos);
    FUZZ_CHECK(f.closed || last);  // only the last field can lack its closing quote
  } else {
    FUZZ_CHECK(f.closed);
    FUZZ_CHECK(f.bytes.find(',') == std::string::npos);
    FUZZ_CHECK(f.bytes.empty() || (!IsBlank(f.bytes.front()) && !IsBlank(f.bytes.back())));
  }
}

// A number reads only from an optional "-" and one to nine digits.
void CheckInt(const RawField& f) {
  std::optional<long> value = FieldInt(f);
  std::string_view s = f.bytes;
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  bool negative = !s.empty() && s.front() == '-';
  if (negative) s.remove_prefix(1);
  bool digits = !s.empty() && s.size() <= 9 && s.find_first_not_of("0123456789") == s.npos;
  FUZZ_CHECK(value.has_value() == (digits && f.closed));
  if (value) {
    FUZZ_CHECK(*value >= -999999999 && *value <= 999999999);
    FUZZ_CHECK((*value < 0) == (negative && *value != 0));
  }
}

using Written = std::variant<std::string, long, bool>;

}  // namespace
}  // namespace lup

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lup;
  const std::string_view bytes = fuzz::Bytes(data, size);
  const ParsedList parsed = ParseRecords(bytes);
  FUZZ_CHECK(parsed.utf8 == bytes.starts_with("\xEF\xBB\xBF"));
  FUZZ_CHECK(parsed.records.size() <= size);

  // Everything readable is written back, field by field, in its own kind.
  RecordWriter writer;
  std::vector<std::vector<Written>> expected;
  for (const RawRecord& record : parsed.records) {
    FUZZ_CHECK(!record.empty());
    std::vector<Written> line;
    for (std::size_t i = 0; i < record.size(); ++i) {
      const RawField& f = record[i];
      CheckField(f, i + 1 == record.size());
      CheckInt(f);
      std::optional<std::string> text = FieldText(f, parsed.utf8);
      std::optional<long> number = FieldInt(f);
      std::optional<bool> flag = FieldBool(f);
      FUZZ_CHECK(!(number && flag));
      if (text) {
        FUZZ_CHECK(IsValidUtf8(*text));
        if (parsed.utf8) FUZZ_CHECK(*text == f.bytes);
        // The writer takes exactly the text that CP932 holds and that has no
        // quote or line break; text read from CP932 is always held.
        const bool holdable = text->find_first_of("\"\r\n") == std::string::npos &&
                              (text->empty() || Utf8ToCp932(*text).has_value());
        if (!parsed.utf8 && text->find('"') == std::string::npos) FUZZ_CHECK(holdable);
        if (holdable) {
          FUZZ_CHECK(writer.Text(*text));
          line.emplace_back(*text);
          continue;
        }
      }
      if (number) {
        writer.Int(*number);
        line.emplace_back(*number);
      } else if (flag) {
        writer.Bool(*flag);
        line.emplace_back(*flag);
      }
    }
    if (line.empty()) continue;
    writer.EndRecord();
    expected.push_back(std::move(line));
  }
  FUZZ_CHECK(writer.ok());

  const ParsedList back = ParseRecords(writer.bytes());
  FUZZ_CHECK(!back.utf8);
  FUZZ_CHECK(back.records.size() == expected.size());
  for (std::size_t r = 0; r < expected.size(); ++r) {
    FUZZ_CHECK(back.records[r].size() == expected[r].size());
    for (std::size_t i = 0; i < expected[r].size(); ++i) {
      const RawField& f = back.records[r][i];
      if (auto* text = std::get_if<std::string>(&expected[r][i])) {
        FUZZ_CHECK(f.quoted && f.closed);
        FUZZ_CHECK(FieldText(f, false) == *text);
      } else if (auto* number = std::get_if<long>(&expected[r][i])) {
        FUZZ_CHECK(FieldInt(f) == *number);
      } else {
        FUZZ_CHECK(FieldBool(f) == std::get<bool>(expected[r][i]));
      }
    }
  }
  return 0;
}
