#include "core/same_files.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>

#include <gtest/gtest.h>

#include "base/text.h"
#include "base/unicode.h"
#include "core/fileops.h"
#include "core/petstore.h"
#include "tests/support/host_folder.h"
#include "tests/support/temp_folder.h"

namespace lup {
namespace {
namespace fs = std::filesystem;

using test::NamesIn;
using test::ReadBytes;
using test::WriteBytes;

// A host folder whose pairs of folders are recorded; every try to open,
// rename or delete a file of A or B is counted.
class SameFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseSameFilesRecords(d.path());
    os::SetHeldFilesSeam({[this](const fs::path& path) {
                            const fs::path folder = path.parent_path();
                            if (folder == A() || folder == B()) ++touched;
                            if (folder == B() && !IsTempName(NameText(path.filename()))) ++targetsTouched;
                            if (onTouch) onTouch(path);
                            return std::error_code();
                          },
                          {}});
    fs::create_directories(A());
    WriteBytes(A() / "0001.mail", "first mail");
    WriteBytes(A() / "0002.mail", "second mail");
    WriteBytes(A() / "0003.mail", "third mail");
  }
  void TearDown() override {
    os::SetHeldFilesSeam({});
    UseSameFilesRecords({});
  }
  fs::path A() const { return d / "受信フォルダ"; }
  fs::path B() const { return d / "ミミ_受信フォルダ"; }
  // Mirrors and says how many of the two folders' files were touched.
  int Mirror(const fs::path& from, const fs::path& to) {
    touched = 0;
    const OpResult r = MirrorFolder(from, to);
    EXPECT_TRUE(r.ok()) << r.Describe();
    return touched;
  }
  // A file given other bytes of the same length, its last-write time put back.
  static void Rewrite(const fs::path& file, std::string_view bytes) {
    const fs::file_time_type time = fs::last_write_time(file);
    WriteBytes(file, bytes);
    fs::last_write_time(file, time);
  }

  // A folder of three mails of the same lengths as A's, other bytes.
  fs::path Other() const {
    const fs::path c = d / "ソラ_受信フォルダ";
    fs::create_directories(c);
    WriteBytes(c / "0001.mail", "FIRST MAIL");
    WriteBytes(c / "0002.mail", "SECOND MAIL");
    WriteBytes(c / "0003.mail", "THIRD MAIL");
    return c;
  }

  // A record given another count of entries in its last line, its sum of
  // what comes before put right (FNV-1a, as the records are summed).
  static std::string RecountedRecord(const std::string& record, const std::string& count) {
    const std::string body = record.substr(0, record.rfind("\nend ") + 1);
    std::uint64_t h = 1469598103934665603ull;
    for (unsigned char c : body) h = (h ^ c) * 1099511628211ull;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
    return body + "end " + count + " " + hex + "\n";
  }

  FileOps ops;
  ScopedFileOps use{ops};
  test::TempFolder d{"D"};
  int touched = 0;
  int targetsTouched = 0;  // tries on B's own files (not temporary ones)
  std::function<void(const fs::path&)> onTouch;
};

TEST_F(SameFilesTest, AFolderCopyRecordedOpensNoFileTheNextTimeInEitherDirection) {
  EXPECT_GE(Mirror(A(), B()), 3);  // nothing recorded yet: every file read
  EXPECT_FALSE(SameFilesRecord(A(), B()).empty());
  EXPECT_EQ(SameFilesRecord(A(), B()), SameFilesRecord(B(), A()));
  EXPECT_TRUE(fs::exists(SameFilesRecord(A(), B())));
  EXPECT_EQ(Mirror(A(), B()), 0);
  EXPECT_EQ(Mirror(B(), A()), 0);
  EXPECT_EQ(NamesIn(B()), "0001.mail|0002.mail|0003.mail");
  EXPECT_EQ(ReadBytes(B() / "0002.mail"), "second mail");
  // The record is ours, not data: nothing of it lies in either folder.
  EXPECT_EQ(NamesIn(A()), "0001.mail|0002.mail|0003.mail");
}

// A copy known alike writes nothing into its folder, and so does not sweep
// it; a temporary file a killed run left there goes all the same, as a file
// the source does not hold.
TEST_F(SameFilesTest, ALeftoverTemporaryFileGoesThoughEveryFileIsKnownAlike) {
  Mirror(A(), B());
  WriteBytes(B() / "~lupina-tmp-00ff00ff00ff00ff.tmp", "half a mail");
  targetsTouched = 0;
  Mirror(A(), B());
  EXPECT_EQ(targetsTouched, 0);
  EXPECT_EQ(NamesIn(B()), "0001.mail|0002.mail|0003.mail");
  EXPECT_EQ(Mirror(A(), B()), 0);
}

TEST_F(SameFilesTest, EveryChangeOnEitherSideIsCopiedThoughItsSizeAndTimeStayed) {
  Mirror(A(), B());
  // The host writes a mail again in place, same length, and puts its time back.
  Rewrite(A() / "0001.mail", "FIRST MAIL");
  // Another program puts a different file of the same length and time in
  // the copy's place.
  const fs::file_time_type time = fs::last_write_time(B() / "0002.mail");
  WriteBytes(d / "other", "SECOND MAIL");
  fs::last_write_time(d / "other", time);
  fs::rename(d / "other", B() / "0002.mail");
  WriteBytes(A() / "0004.mail", "fourth mail");
  fs::remove(A() / "0003.mail");
  Mirror(A(), B());
  EXPECT_EQ(ReadBytes(B() / "0001.mail"), "FIRST MAIL");
  EXPECT_EQ(ReadBytes(B() / "0002.mail"), "second mail");
  EXPECT_EQ(NamesIn(B()), "0001.mail|0002.mail|0004.mail");
  // And the record made then serves the next copy.
  EXPECT_EQ(Mirror(B(), A()), 0);
}

TEST_F(SameFilesTest, ARecordThatCannotBeGoneByCountsAsNone) {
  Mirror(A(), B());
  const fs::path record = SameFilesRecord(A(), B());
  const std::string whole = ReadBytes(record);
  const auto expectEveryFileRead = [&](const char* what) {
    EXPECT_TRUE(SameFiles::Of(A(), B()).Empty()) << what;
    EXPECT_GE(Mirror(A(), B()), 3) << what;
    EXPECT_EQ(ReadBytes(B() / "0003.mail"), "third mail") << what;
    WriteBytes(record, whole);
  };
  WriteBytes(record, whole.substr(0, whole.size() - 10));
  expectEveryFileRead("cut short");
  std::string garbled = whole;
  garbled[garbled.find("0002.mail") + 1] = '9';
  WriteBytes(record, garbled);
  expectEveryFileRead("garbled");
  WriteBytes(record, "");
  expectEveryFileRead("empty");
  // Whole and summed right, but counting far more entries than it holds:
  // nothing is set aside for that count.
  WriteBytes(record, RecountedRecord(whole, "3"));
  EXPECT_FALSE(SameFiles::Of(A(), B()).Empty()) << "recounted with its own count";
  WriteBytes(record, RecountedRecord(whole, "123456789012345678"));
  expectEveryFileRead("counting more than it holds");
  fs::remove(record);
  expectEveryFileRead("missing");
  // The record of other folders under this one's name.
  fs::create_directories(d / "送信フォルダ");
  WriteBytes(d / "送信フォルダ/s.mail", "sent");
  Mirror(d / "送信フォルダ", d / "ミミ_送信フォルダ");
  WriteBytes(record, ReadBytes(SameFilesRecord(d / "送信フォルダ", d / "ミミ_送信フォルダ")));
  expectEveryFileRead("of other folders");
}

TEST_F(SameFilesTest, FilesWrittenWithinTheRecordsTickAreReadAgain) {
  Mirror(A(), B());
  const fs::path record = SameFilesRecord(A(), B());
  ASSERT_FALSE(SameFiles::Of(A(), B()).Empty());
  // The record's time no later than a file's: that file could have been
  // written again within the same tick, and is read.
  fs::last_write_time(record, fs::last_write_time(B() / "0001.mail"));
  EXPECT_GE(Mirror(A(), B()), 1);
  // That copy recorded the folders again, waiting for the clock to pass.
  EXPECT_EQ(Mirror(A(), B()), 0);
}

TEST_F(SameFilesTest, OnlyFoldersUnderTheHostFolderAreRecorded) {
  test::TempFolder elsewhere{"E"};
  fs::create_directories(elsewhere / "x");
  WriteBytes(elsewhere / "x/1.txt", "one");
  EXPECT_TRUE(SameFilesRecord(elsewhere / "x", A()).empty());
  EXPECT_TRUE(SameFilesRecord(d.path(), A()).empty());
  Mirror(elsewhere / "x", B());
  EXPECT_FALSE(fs::exists(d / kSameFilesFolderName));
  UseSameFilesRecords({});
  EXPECT_TRUE(SameFilesRecord(A(), B()).empty());
  EXPECT_GE(Mirror(A(), B()), 3);
  EXPECT_FALSE(fs::exists(d / kSameFilesFolderName));
}

TEST_F(SameFilesTest, AFailedCopyRecordsNothing) {
  ops.FailAt(2, std::make_error_code(std::errc::no_space_on_device));
  EXPECT_FALSE(MirrorFolder(A(), B()).ok());
  EXPECT_FALSE(fs::exists(SameFilesRecord(A(), B())));
  ops.ClearFaults();
  Mirror(A(), B());
  EXPECT_TRUE(fs::exists(SameFilesRecord(A(), B())));
}

TEST(ContentSums, TheSameBytesGiveTheSameSumHoweverTheyAreCut) {
  const std::string bytes = "0123456789abcdefghijklmnopqrstuvwxyz ミミのメール";
  ContentSum whole;
  whole.Add(bytes);
  for (std::size_t cut : {1u, 3u, 7u, 8u, 9u, 16u, 17u}) {
    ContentSum pieces;
    for (std::size_t at = 0; at < bytes.size(); at += cut) pieces.Add(bytes.substr(at, cut));
    EXPECT_EQ(pieces.Value(), whole.Value()) << "pieces of " << cut;
  }
  const auto sumOf = [](std::string_view b) {
    ContentSum s;
    s.Add(b);
    return s.Value();
  };
  // Other bytes, a byte more or less, or a zero added tell apart.
  std::string other = bytes;
  other[20] ^= 1;
  EXPECT_NE(sumOf(other), whole.Value());
  EXPECT_NE(sumOf(bytes + '\0'), whole.Value());
  EXPECT_NE(sumOf(bytes.substr(1)), whole.Value());
  EXPECT_NE(sumOf(""), sumOf(std::string(8, '\0')));
  EXPECT_NE(sumOf(std::string(3, '\0')), sumOf(std::string(4, '\0')));
}

// A target whose sum the records know, of other bytes than its source's,
// is written without being opened to compare; each copy is still whole.
TEST_F(SameFilesTest, ATargetKnownToDifferIsWrittenWithoutBeingRead) {
  const fs::path other = Other();
  const auto bringIn = [&](bool withSums) {
    Mirror(A(), B());  // recorded: B holds A's mails
    if (!withSums) fs::remove(FolderSumsRecord(B()));
    targetsTouched = 0;
    Mirror(other, B());
    EXPECT_EQ(ReadBytes(B() / "0002.mail"), "SECOND MAIL");
    const int touchedThen = targetsTouched;
    Mirror(A(), B());  // and back, as the next switch
    EXPECT_EQ(ReadBytes(B() / "0002.mail"), "second mail");
    return touchedThen;
  };
  const int without = bringIn(false);
  const int with = bringIn(true);
  EXPECT_EQ(without - with, 3) << "each of B's three mails opened once less";
  ASSERT_TRUE(fs::exists(FolderSumsRecord(B())));
  EXPECT_TRUE(fs::exists(FolderSumsRecord(other)));
}

// A sum is a hint that two files differ, never that they are alike.
TEST_F(SameFilesTest, ASumLeadsOnlyToAWriteNeverToSkippingOne) {
  fs::create_directories(B());
  WriteBytes(B() / "0001.mail", "first mail");  // the same bytes as A's
  WriteBytes(B() / "0002.mail", "SECOND MAIL");  // other bytes
  const auto old = fs::last_write_time(A() / "0001.mail") - std::chrono::hours(24);
  fs::last_write_time(B() / "0001.mail", old);
  ContentSum sourceSum;
  sourceSum.Add(std::string_view("second mail"));
  // A target sum that is wrong both ways: another for the same bytes, the
  // source's own for other bytes.
  const std::vector<FileOps::CopyHint> hints = {{false, std::nullopt, 1234},
                                                {false, std::nullopt, sourceSum.Value()}};
  CopyBatch batch;
  int done = 0;
  std::vector<std::optional<std::uint64_t>> sums;
  ASSERT_TRUE(Fs().CopyAll({{A() / "0001.mail", B() / "0001.mail"}, {A() / "0002.mail", B() / "0002.mail"}},
                           batch, &done, &hints, &sums)
                  .ok());
  ASSERT_TRUE(batch.Commit().ok());
  EXPECT_EQ(done, 2);
  EXPECT_EQ(ReadBytes(B() / "0002.mail"), "second mail");  // compared, found other, written
  // Told apart by its sum: written again, the source's time with it.
  EXPECT_EQ(ReadBytes(B() / "0001.mail"), "first mail");
  EXPECT_EQ(fs::last_write_time(B() / "0001.mail"), fs::last_write_time(A() / "0001.mail"));
  ASSERT_EQ(sums.size(), 2u);
  EXPECT_EQ(sums[1], sourceSum.Value());
  ContentSum first;
  first.Add(std::string_view("first mail"));
  EXPECT_EQ(sums[0], first.Value());
}

TEST_F(SameFilesTest, AFolderSumIsKnownOnlyForTheFileAsItWasRecorded) {
  Mirror(A(), B());
  const fs::path record = FolderSumsRecord(B());
  const std::string whole = ReadBytes(record);
  FolderStamps stamps;
  ASSERT_TRUE(ListStamps(B(), &stamps));
  const auto stampOf = [&](const char* name) {
    ListStamps(B(), &stamps);
    return stamps[UpcasedUtf16(name)];
  };
  ContentSum second;
  second.Add(std::string_view("second mail"));
  EXPECT_EQ(FolderSums::Of(B()).Sum("0002.MAIL", stampOf("0002.mail")), second.Value());
  // Written again in place, same length, its time put back: its change time moved.
  Rewrite(B() / "0002.mail", "SECOND MAIL");
  EXPECT_FALSE(FolderSums::Of(B()).Sum("0002.mail", stampOf("0002.mail")));
  EXPECT_TRUE(FolderSums::Of(B()).Sum("0001.mail", stampOf("0001.mail")));
  // Within the record's tick: not known.
  fs::last_write_time(record, fs::last_write_time(B() / "0001.mail"));
  EXPECT_FALSE(FolderSums::Of(B()).Sum("0001.mail", stampOf("0001.mail")));
  // Garbled, or of another folder: nothing known.
  std::string garbled = whole;
  garbled[garbled.find("0001.mail") + 2] = '7';
  WriteBytes(record, garbled);
  EXPECT_TRUE(FolderSums::Of(B()).Empty());
  WriteBytes(record, RecountedRecord(whole, "123456789012345678"));
  EXPECT_TRUE(FolderSums::Of(B()).Empty());
  WriteBytes(record, ReadBytes(FolderSumsRecord(A())));
  EXPECT_TRUE(FolderSums::Of(B()).Empty());
  EXPECT_FALSE(FolderSums::Of(A()).Empty());
}

// A source written to while its folder was copied (the copy has the bytes
// read before) is not recorded alike: the next copy takes the change.
TEST_F(SameFilesTest, ASourceChangedWhileItWasCopiedIsCopiedAgainNextTime) {
  bool changed = false;
  onTouch = [&](const fs::path& path) {
    // The renames into B come after every source was read.
    if (!changed && path == B() / "0002.mail") {
      changed = true;
      WriteBytes(A() / "0002.mail", "SECOND MAIL");
    }
  };
  Mirror(A(), B());
  onTouch = nullptr;
  ASSERT_TRUE(changed);
  EXPECT_EQ(ReadBytes(B() / "0002.mail"), "second mail");  // as read
  Mirror(A(), B());
  EXPECT_EQ(ReadBytes(B() / "0002.mail"), "SECOND MAIL");
  EXPECT_EQ(Mirror(A(), B()), 0);
}

// The file items (settings file, friend book) are recorded as pairs of two
// files: the next put-away opens neither, a change on either side is copied.
TEST(SameFileItems, AFileItemPutAwayAgainIsNotOpenedAndEveryChangeIsCopied) {
  test::HostFolder h;
  h.PutThreePets();
  Settings settings;
  settings.hostFolder = h.D();
  const PetStore store(settings);  // the store at work records its folders
  int touched = 0;
  const fs::path hostBook = h.At("おともだち帳"), herBook = h.At("ミミ_おともだち帳");
  os::SetHeldFilesSeam({[&](const fs::path& path) {
                          if (path == hostBook || path == herBook) ++touched;
                          return std::error_code();
                        },
                        {}});
  const auto putAway = [&] {
    touched = 0;
    const OpResult r = store.PutAway("ミミ", {});
    EXPECT_TRUE(r.ok()) << r.Describe();
    return touched;
  };
  EXPECT_GT(putAway(), 0);  // nothing recorded yet: both read
  EXPECT_EQ(h.Read("ミミ_おともだち帳"), h.Read("おともだち帳"));
  EXPECT_EQ(putAway(), 0);
  // The host writes her friend book again in place, same length, its time put back.
  const std::string before = h.Read("おともだち帳");
  const fs::file_time_type time = fs::last_write_time(hostBook);
  std::string changed = before;
  changed[0] = changed[0] == 'x' ? 'y' : 'x';
  h.Put("おともだち帳", changed);
  fs::last_write_time(hostBook, time);
  EXPECT_GT(putAway(), 0);
  EXPECT_EQ(h.Read("ミミ_おともだち帳"), changed);
  // Her copy changed behind the store's back is put right too.
  h.Put("ミミ_おともだち帳", before);
  fs::last_write_time(herBook, fs::last_write_time(hostBook));
  putAway();
  EXPECT_EQ(h.Read("ミミ_おともだち帳"), changed);
  // Recorded anew then: the next put-away opens neither.
  EXPECT_EQ(putAway(), 0);
  os::SetHeldFilesSeam({});
  UseSameFilesRecords({});
}

}  // namespace
}  // namespace lup
