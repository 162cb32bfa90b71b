#include "core/snack.h"

#include <gtest/gtest.h>

#include "core/fileops.h"
#include "tests/support/temp_folder.h"

namespace lup {
namespace {

using test::ReadBytes;
using test::TempFolder;
using test::WriteBytes;

// A snack file of 1000 bytes whose every byte is distinct from its neighbours,
// so that a stray write shows.
std::string SnackBytes(std::string_view nameCp932, int count, int keep, int y, int m, int d) {
  std::string b(1000, '\0');
  for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<char>(i * 7 + 3);
  b[32] = static_cast<char>(nameCp932.size());
  b.replace(33, nameCp932.size(), nameCp932);
  auto put16 = [&](std::size_t at, int v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>(v >> 8);
  };
  put16(881, count);
  put16(883, keep);
  put16(889, y);
  b[891] = static_cast<char>(m);
  b[893] = static_cast<char>(d);
  return b;
}

SnackInfo Opened(int y, int m, int d, int keep) {
  SnackInfo s;
  s.openedYear = y;
  s.openedMonth = m;
  s.openedDay = d;
  s.keepDays = keep;
  return s;
}

class SnackFileTest : public ::testing::Test {
 protected:
  FileOps ops;
  ScopedFileOps use{ops};
  TempFolder dir;
};

TEST_F(SnackFileTest, ReadsTheFields) {
  // "ケーキ" in CP932
  WriteBytes(dir / "a.pac", SnackBytes("\x83\x50\x81\x5b\x83\x4c", 300, 4, 2001, 6, 20));
  SnackRead r = ReadSnackInfo(dir / "a.pac");
  ASSERT_TRUE(r.ok());
  EXPECT_FALSE(r.shortFile);
  EXPECT_EQ(r.info.name, "ケーキ");
  EXPECT_EQ(r.info.count, 300);
  EXPECT_EQ(r.info.keepDays, 4);
  EXPECT_EQ(r.info.openedYear, 2001);
  EXPECT_EQ(r.info.openedMonth, 6);
  EXPECT_EQ(r.info.openedDay, 20);

  WriteBytes(dir / "b.pac", SnackBytes("", 65535, 65535, 0, 0, 0));
  r = ReadSnackInfo(dir / "b.pac");
  EXPECT_EQ(r.info.name, "");
  EXPECT_EQ(SnackCountText(r.info.count), "∞");
  EXPECT_EQ(SnackCountText(0), "0");
  EXPECT_EQ(SnackCountText(1234), "1234");

  WriteBytes(dir / "c.pac", SnackBytes(std::string(255, 'x'), 1, 1, 1, 1, 1));
  EXPECT_EQ(ReadSnackInfo(dir / "c.pac").info.name, std::string(255, 'x'));
}

TEST_F(SnackFileTest, BytesThatAreNotCp932AreMarked) {
  WriteBytes(dir / "a.pac", SnackBytes("A\x81\xFF" "B", 1, 1, 0, 0, 0));
  SnackRead r = ReadSnackInfo(dir / "a.pac");
  EXPECT_TRUE(r.nameDamaged);
  EXPECT_EQ(r.info.name.substr(0, 1), "A");
  EXPECT_NE(r.info.name.find("\xEF\xBF\xBD"), std::string::npos);
  EXPECT_EQ(r.info.name.back(), 'B');
}

TEST_F(SnackFileTest, ShortFilesReadZeroAndCutTheName) {
  std::string full = SnackBytes("\x83\x50\x81\x5b\x83\x4c", 300, 4, 2001, 6, 20);
  WriteBytes(dir / "short.pac", full.substr(0, 37));  // name cut after 4 bytes
  SnackRead r = ReadSnackInfo(dir / "short.pac");
  ASSERT_TRUE(r.ok());
  EXPECT_TRUE(r.shortFile);
  EXPECT_EQ(r.info.name, "ケー");
  EXPECT_EQ(r.info.count, 0);
  EXPECT_EQ(r.info.openedYear, 0);
  WriteBytes(dir / "tiny.pac", "");
  r = ReadSnackInfo(dir / "tiny.pac");
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(r.info.name, "");
  WriteBytes(dir / "882.pac", full.substr(0, 882));  // count's high byte missing
  EXPECT_EQ(ReadSnackInfo(dir / "882.pac").info.count, 300 & 0xFF);
}

TEST_F(SnackFileTest, AnUnreadableFileIsAnError) {
  SnackRead r = ReadSnackInfo(dir / "none.pac");
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(r.error.action, Action::Read);
  std::filesystem::create_directory(dir / "folder.pac");
  EXPECT_FALSE(ReadSnackInfo(dir / "folder.pac").ok());
}

TEST_F(SnackFileTest, WriteCountChangesTwoBytesOnly) {
  std::string before = SnackBytes("x", 5, 4, 2001, 6, 20);
  WriteBytes(dir / "a.pac", before);
  ASSERT_TRUE(WriteSnackCount(dir / "a.pac", 300).ok());
  std::string after = ReadBytes(dir / "a.pac");
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(static_cast<unsigned char>(after[881]), 44);
  EXPECT_EQ(static_cast<unsigned char>(after[882]), 1);
  after[881] = before[881];
  after[882] = before[882];
  EXPECT_EQ(after, before);
  EXPECT_EQ(ops.Journal().back().action, Action::Edit);
  EXPECT_FALSE(WriteSnackCount(dir / "a.pac", 65536).ok());
  EXPECT_FALSE(WriteSnackCount(dir / "a.pac", -1).ok());
}

TEST_F(SnackFileTest, MarkUnopenedClearsTheDateBlockOnly) {
  std::string before = SnackBytes("x", 5, 4, 2001, 6, 20);
  WriteBytes(dir / "a.pac", before);
  ASSERT_TRUE(MarkSnackUnopened(dir / "a.pac").ok());
  std::string after = ReadBytes(dir / "a.pac");
  EXPECT_EQ(after.substr(889, 14), std::string(14, '\0'));
  EXPECT_EQ(after.substr(0, 889), before.substr(0, 889));
  EXPECT_EQ(after.substr(903), before.substr(903));
  SnackRead r = ReadSnackInfo(dir / "a.pac");
  EXPECT_EQ(r.info.count, 5);
  EXPECT_EQ(r.info.keepDays, 4);
  EXPECT_FALSE(IsSnackExpired(r.info, CivilDate{2030, 1, 1}));
}

TEST_F(SnackFileTest, WritesRefuseShortFilesAndLeaveThemAlone) {
  std::string shortFile = SnackBytes("x", 5, 4, 2001, 6, 20).substr(0, 902);
  WriteBytes(dir / "s.pac", shortFile);
  EXPECT_EQ(WriteSnackCount(dir / "s.pac", 1).error, MakeError(CoreError::FileTooShort));
  EXPECT_EQ(MarkSnackUnopened(dir / "s.pac").error, MakeError(CoreError::FileTooShort));
  EXPECT_EQ(ReadBytes(dir / "s.pac"), shortFile);
  EXPECT_TRUE(IsNotFound(WriteSnackCount(dir / "none.pac", 1).error));
  EXPECT_FALSE(std::filesystem::exists(dir / "none.pac"));
}

TEST(SnackExpiry, TheDocumentedCases) {
  // Opened 20 June 2001, keeps 4 days: good on the 24th, expired on the 25th.
  EXPECT_FALSE(IsSnackExpired(Opened(2001, 6, 20, 4), {2001, 6, 24}));
  EXPECT_TRUE(IsSnackExpired(Opened(2001, 6, 20, 4), {2001, 6, 25}));
  // 31 January + 1 carries into 1 February.
  EXPECT_FALSE(IsSnackExpired(Opened(2001, 1, 31, 1), {2001, 2, 1}));
  EXPECT_TRUE(IsSnackExpired(Opened(2001, 1, 31, 1), {2001, 2, 2}));
  // 28 February + 3 is 3 March.
  EXPECT_FALSE(IsSnackExpired(Opened(2001, 2, 28, 3), {2001, 3, 3}));
  EXPECT_TRUE(IsSnackExpired(Opened(2001, 2, 28, 3), {2001, 3, 4}));
  // Keeps 0 days: good on the day opened only.
  EXPECT_FALSE(IsSnackExpired(Opened(2001, 6, 20, 0), {2001, 6, 20}));
  EXPECT_TRUE(IsSnackExpired(Opened(2001, 6, 20, 0), {2001, 6, 21}));
  // Keeps for ever; not opened.
  EXPECT_FALSE(IsSnackExpired(Opened(1990, 1, 1, 65535), {2030, 1, 1}));
  EXPECT_FALSE(IsSnackExpired(Opened(0, 1, 1, 1), {2030, 1, 1}));
  EXPECT_FALSE(IsSnackExpired(Opened(2001, 0, 1, 1), {2030, 1, 1}));
  EXPECT_FALSE(IsSnackExpired(Opened(2001, 1, 0, 1), {2030, 1, 1}));
}

TEST(SnackExpiry, CarriesAndDatesThatCannotBeFormed) {
  // Month 13 is January of the next year.
  EXPECT_FALSE(IsSnackExpired(Opened(2001, 13, 1, 0), {2002, 1, 1}));
  EXPECT_TRUE(IsSnackExpired(Opened(2001, 13, 1, 0), {2002, 1, 2}));
  // A long keep carries over years: 1 January 2000 + 3000 days = 20 March 2008.
  EXPECT_FALSE(IsSnackExpired(Opened(2000, 1, 1, 3000), {2008, 3, 19}));
  EXPECT_TRUE(IsSnackExpired(Opened(2000, 1, 1, 3000), {2008, 3, 20}));
  // Day + keepDays above 32767 as a signed 16-bit number.
  EXPECT_TRUE(IsSnackExpired(Opened(1900, 1, 1, 32766), {2030, 1, 1}));
  EXPECT_FALSE(IsSnackExpired(Opened(1900, 1, 2, 32766), {2030, 1, 1}));
  // Years a date cannot take: a high byte of 128 or more, beyond 9999.
  EXPECT_FALSE(IsSnackExpired(Opened(0x8000 + 2001, 1, 1, 1), {2030, 1, 1}));
  EXPECT_FALSE(IsSnackExpired(Opened(10000, 1, 1, 1), {20000, 1, 1}));
  EXPECT_FALSE(IsSnackExpired(Opened(9999, 12, 31, 1), {9999, 12, 31}));
}

TEST(SnackExpiry, TodayIsAPlausibleDate) {
  CivilDate today = LocalToday();
  EXPECT_GE(today.year, 2024);
  EXPECT_GE(today.month, 1);
  EXPECT_LE(today.month, 12);
  EXPECT_GE(today.day, 1);
  EXPECT_LE(today.day, 31);
}

}  // namespace
}  // namespace lup
