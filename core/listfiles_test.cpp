#include "core/listfiles.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "core/fileops.h"
#include "tests/support/temp_folder.h"

namespace lup {
namespace {

using test::ReadBytes;
using test::TempFolder;
using test::WriteBytes;

// "ミミ" and "ソ表能" in CP932 (the last three end in the byte 0x5C).
const char kMimiCp932[] = "\x83\x7e\x83\x7e";
const char kSoHyouNouCp932[] = "\x83\x5c\x95\x5c\x94\x5c";

TEST(RecordWriter, WritesTheConventionInCp932) {
  RecordWriter w;
  EXPECT_TRUE(w.Text("ソ表能"));
  w.Int(0);
  w.Int(-1);
  w.Bool(true);
  w.Bool(false);
  w.EndRecord();
  w.Text("");
  w.EndRecord();
  EXPECT_TRUE(w.ok());
  EXPECT_EQ(w.bytes(), std::string("\"") + kSoHyouNouCp932 + "\",0,-1,#TRUE#,#FALSE#\r\n\"\"\r\n");

  RecordWriter bad;
  EXPECT_FALSE(bad.Text("🐱"));
  EXPECT_FALSE(bad.ok());
  RecordWriter quote;
  EXPECT_FALSE(quote.Text("a\"b"));
}

TEST(ParseRecords, ReadsFieldsAndToleratesBadLines) {
  ParsedList p = ParseRecords("\"a,b\",1, 2 ,x\r\n\r\n   \n\"c\"junk,#TRUE#\n\"open,3\r\"d\"");
  ASSERT_EQ(p.records.size(), 4u);
  EXPECT_FALSE(p.utf8);
  ASSERT_EQ(p.records[0].size(), 4u);
  EXPECT_EQ(p.records[0][0].bytes, "a,b");
  EXPECT_EQ(FieldInt(p.records[0][1]), 1);
  EXPECT_EQ(FieldInt(p.records[0][2]), 2);
  EXPECT_EQ(FieldInt(p.records[0][3]), std::nullopt);
  ASSERT_EQ(p.records[1].size(), 2u);
  EXPECT_EQ(p.records[1][0].bytes, "c");
  EXPECT_EQ(FieldBool(p.records[1][1]), true);
  ASSERT_EQ(p.records[2].size(), 1u);
  EXPECT_FALSE(p.records[2][0].closed);
  EXPECT_EQ(FieldText(p.records[2][0], false), std::nullopt);
  EXPECT_EQ(FieldText(p.records[3][0], false), "d");
}

TEST(ParseRecords, ANumberFieldMayHaveBlanksAroundItButNoPlusAndAtMostNineDigits) {
  // Inside quotes the blanks stay in the field; the number is read past them.
  ParsedList p = ParseRecords("\"\t-12 \",+3,\"4\",-,0000000001,999999999,1 2,\"7");
  ASSERT_EQ(p.records.size(), 1u);
  const RawRecord& r = p.records[0];
  ASSERT_EQ(r.size(), 8u);
  EXPECT_EQ(r[0].bytes, "\t-12 ");
  EXPECT_EQ(FieldInt(r[0]), -12);
  EXPECT_EQ(FieldInt(r[1]), std::nullopt);
  EXPECT_EQ(FieldInt(r[2]), 4);
  EXPECT_EQ(FieldInt(r[3]), std::nullopt);
  EXPECT_EQ(FieldInt(r[4]), std::nullopt);
  EXPECT_EQ(FieldInt(r[5]), 999999999);
  EXPECT_EQ(FieldInt(r[6]), std::nullopt);
  EXPECT_FALSE(r[7].closed);
  EXPECT_EQ(FieldInt(r[7]), std::nullopt);  // its closing quote is missing
}

class ListFilesTest : public ::testing::Test {
 protected:
  FileOps ops;
  ScopedFileOps use{ops};
  TempFolder d;
};

TEST_F(ListFilesTest, CurrentPetRoundTripAndExactBytes) {
  EXPECT_EQ(ReadCurrentPet(d.path()).state, CurrentPetRead::State::Missing);
  ASSERT_TRUE(WriteCurrentPet(d.path(), "ソ表能").ok());
  EXPECT_EQ(ReadBytes(d / "lupina.dat"), std::string("\"") + kSoHyouNouCp932 + "\"\r\n");
  CurrentPetRead r = ReadCurrentPet(d.path());
  EXPECT_EQ(r.state, CurrentPetRead::State::Ok);
  EXPECT_EQ(r.name, "ソ表能");
  ASSERT_TRUE(WriteCurrentPet(d.path(), "").ok());
  EXPECT_EQ(ReadBytes(d / "lupina.dat"), "\"\"\r\n");
  EXPECT_EQ(ReadCurrentPet(d.path()).name, "");
  WriteBytes(d / "lupina.dat", "");
  EXPECT_EQ(ReadCurrentPet(d.path()).state, CurrentPetRead::State::Ok);
}

TEST_F(ListFilesTest, AnUnreadableCurrentPetIsNeverTakenForNone) {
  WriteBytes(d / "lupina.dat", "\"\x83\"\r\n");  // a lead byte without its trail byte
  CurrentPetRead r = ReadCurrentPet(d.path());
  EXPECT_EQ(r.state, CurrentPetRead::State::Unreadable);
  EXPECT_EQ(r.name, "");
  WriteBytes(d / "lupina.dat", "\"ab\r\n");
  EXPECT_EQ(ReadCurrentPet(d.path()).state, CurrentPetRead::State::Unreadable);
  WriteBytes(d / "lupina.dat", "\"..\\..\\x\"\r\n");  // would leave the host folder
  EXPECT_EQ(ReadCurrentPet(d.path()).state, CurrentPetRead::State::Unreadable);
}

TEST_F(ListFilesTest, ANameCp932CannotHoldIsRefusedAndTheOldFileStays) {
  ASSERT_TRUE(WriteCurrentPet(d.path(), "ミミ").ok());
  OpResult r = WriteCurrentPet(d.path(), "ミミ🐱");
  EXPECT_EQ(r.error, MakeError(CoreError::NotCp932));
  EXPECT_EQ(r.path, d / "lupina.dat");
  EXPECT_EQ(ReadCurrentPet(d.path()).name, "ミミ");
  OpResult s = WriteShareList(d.path(), {ShareRecord{"𠮷", true, {0, 0, 0, 0}, true}});
  EXPECT_FALSE(s.ok());
  EXPECT_FALSE(ReadShareList(d.path()).exists);
}

TEST_F(ListFilesTest, ShareListRoundTrip) {
  ASSERT_TRUE(WriteShareList(d.path(), {{"ミミ", true, {0, 1, 0, 0}, true},
                                        {"ソ", true, {1, 1, 1, 1}, true}})
                  .ok());
  EXPECT_EQ(ReadBytes(d / "lupina3.dat"),
            std::string("\"") + kMimiCp932 + "\",0,1,0,0\r\n\"\x83\x5c\",1,1,1,1\r\n");
  ShareListRead r = ReadShareList(d.path());
  EXPECT_TRUE(r.exists);
  ASSERT_EQ(r.records.size(), 2u);
  EXPECT_EQ(FindShareFlags(r.records, "ソ"), (ShareFlags{1, 1, 1, 1}));
  EXPECT_EQ(FindShareFlags(r.records, "ミミ"), (ShareFlags{0, 1, 0, 0}));
  EXPECT_EQ(FindShareFlags(r.records, "みみ"), std::nullopt);

  ASSERT_TRUE(WriteShareList(d.path(), {}).ok());
  EXPECT_EQ(ReadBytes(d / "lupina3.dat"), "");
  EXPECT_TRUE(ReadShareList(d.path()).exists);
  EXPECT_TRUE(ReadShareList(d.path()).records.empty());
}

TEST_F(ListFilesTest, AMissingShareListIsAReadOfItThatFindsNothing) {
  const ShareListRead read = ReadShareList(d.path());
  EXPECT_FALSE(read.exists);
  EXPECT_TRUE(read.error.ok());
  const OpResult missing = ShareListMissing(d.path());
  EXPECT_FALSE(missing.ok());
  EXPECT_EQ(missing.action, Action::Read);
  EXPECT_TRUE(IsNotFound(missing.error));
  EXPECT_EQ(missing.path, d / "lupina3.dat");
  EXPECT_NE(missing.Describe().find(PathText(d / "lupina3.dat")), std::string::npos);
}

TEST_F(ListFilesTest, MalformedShareListReadsWhatCanBeRead) {
  std::string bytes;
  bytes += "\"a\",1,1\r\n";             // missing flags
  bytes += "\"b\",1,x,1,1,9,9\n";        // a bad flag, extra fields, LF only
  bytes += "\r\n\r\n";                   // blank lines
  bytes += "\"\x81\",1,1,1,1\r\n";       // not CP932: matches no pet
  bytes += "\"c,1,1,1,1\r\n";            // unterminated quote
  bytes += "\"a\",0,0,0,1\r\n";          // a second line for "a": the first counts
  bytes += "\"d\",1,1,1,1";              // no line end at the end
  WriteBytes(d / "lupina3.dat", bytes);
  ShareListRead r = ReadShareList(d.path());
  ASSERT_EQ(r.records.size(), 6u);
  EXPECT_EQ(r.records[0].flags, (ShareFlags{1, 1, 0, 0}));
  EXPECT_FALSE(r.records[0].complete);
  EXPECT_EQ(r.records[1].flags, (ShareFlags{1, 0, 1, 1}));
  EXPECT_FALSE(r.records[1].complete);
  EXPECT_FALSE(r.records[2].usable);
  EXPECT_FALSE(r.records[3].usable);
  EXPECT_TRUE(r.records[5].complete);
  EXPECT_EQ(FindShareFlags(r.records, "a"), (ShareFlags{1, 1, 0, 0}));
  EXPECT_EQ(FindShareFlags(r.records, "d"), (ShareFlags{1, 1, 1, 1}));
  EXPECT_EQ(FindShareFlags(r.records, ""), std::nullopt);
  EXPECT_EQ(FindShareFlags(r.records, "c"), std::nullopt);
}

TEST_F(ListFilesTest, AByteOrderMarkMeansUtf8) {
  WriteBytes(d / "lupina3.dat", "\xEF\xBB\xBF\"ミミ\",0,0,1,0\r\n");
  ShareListRead r = ReadShareList(d.path());
  ASSERT_EQ(r.records.size(), 1u);
  EXPECT_EQ(FindShareFlags(r.records, "ミミ"), (ShareFlags{0, 0, 1, 0}));
  WriteBytes(d / "lupina.dat", "\xEF\xBB\xBF\"ミミ\"\r\n");
  EXPECT_EQ(ReadCurrentPet(d.path()).name, "ミミ");
}

TEST_F(ListFilesTest, SpecialMarks) {
  ASSERT_TRUE(WriteSpecialMarks(d.path(), {{"ミミ", true, false}, {"ソ", true, true}}).ok());
  EXPECT_EQ(ReadBytes(d / "lupina2.dat"),
            std::string("\"") + kMimiCp932 + "\",#FALSE#\r\n\"\x83\x5c\",#TRUE#\r\n");
  SpecialMarksRead r = ReadSpecialMarks(d.path());
  EXPECT_EQ(FindSpecialMark(r.records, "ソ"), true);
  EXPECT_EQ(FindSpecialMark(r.records, "ミミ"), false);
  EXPECT_EQ(FindSpecialMark(r.records, "x"), std::nullopt);

  WriteBytes(d / "lupina2.dat", "\"a\",maybe\r\n\"b\"\r\n\"a\",#TRUE#\r\n\"c\",#true#\r\n");
  r = ReadSpecialMarks(d.path());
  EXPECT_EQ(FindSpecialMark(r.records, "a"), false);  // the first line counts
  EXPECT_EQ(FindSpecialMark(r.records, "b"), false);
  EXPECT_EQ(FindSpecialMark(r.records, "c"), true);
  EXPECT_FALSE(ReadSpecialMarks(d / "none").exists);
}

TEST_F(ListFilesTest, AFailedWriteKeepsTheOldList) {
  ASSERT_TRUE(WriteShareList(d.path(), {{"ミミ", true, {0, 1, 0, 0}, true}}).ok());
  ops.FailAt(1, std::make_error_code(std::errc::no_space_on_device), false,
             FaultPoint::BeforeReplace);
  EXPECT_FALSE(WriteShareList(d.path(), {}).ok());
  EXPECT_EQ(ReadShareList(d.path()).records.size(), 1u);
}

}  // namespace
}  // namespace lup
