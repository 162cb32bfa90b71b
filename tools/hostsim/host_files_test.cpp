#include "tools/hostsim/host_files.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "tools/hostsim/host_test_support.h"

namespace hostsim {
namespace {

using lup::U8Path;

std::string Read(const fs::path& p) { return ReadFileText(p); }
void Write(const fs::path& p, std::string_view bytes) { support::Put(p, bytes); }
using support::SnackBytes;

class HostFolder : public ::testing::Test, protected support::TempHost {};

// ---- pet settings file ----

TEST_F(HostFolder, NoSettingsFileMeansNoPet) { EXPECT_FALSE(ReadPet(dir).has_value()); }

TEST_F(HostFolder, SettingsFileIsReadWithBomAndEitherLineEnd) {
  Write(At(kSettingsName), "\xEF\xBB\xBFother=1\nname=ミケ ちゃん\r\nkind=ウサギ\n");
  std::optional<Pet> pet = ReadPet(dir);
  ASSERT_TRUE(pet);
  EXPECT_EQ(pet->name, "ミケ ちゃん");
  EXPECT_EQ(pet->kind, "ウサギ");
}

TEST_F(HostFolder, NewPetGetsSettingsFoldersAndAnEmptyBox) {
  CreatePet(dir, Pet{"タマ", ""});
  EXPECT_EQ(Read(At(kSettingsName)), "name=タマ\r\nkind=クマ\r\n");
  for (std::string_view f : {kReceivedDir, kSentDir, kTreasureDir, kSnackDir}) EXPECT_TRUE(fs::is_directory(At(f)));
  std::string box = Read(At(kTreasureDir, kTreasureBoxName));
  EXPECT_EQ(box.substr(16, 4), "BEAR");
  EXPECT_FALSE(fs::exists(At(kFriendBookName)));
  EXPECT_EQ(ReadPet(dir)->name, "タマ");
}

TEST_F(HostFolder, NewPetKeepsWhatTheFolderHoldsAlready) {
  Write(At(kReceivedDir, "old.txt"), "old mail");
  Write(At(kTreasureDir, kTreasureBoxName), "the box of the pet before");
  CreatePet(dir, Pet{"タマ", "ネコ"});
  EXPECT_EQ(Read(At(kReceivedDir, "old.txt")), "old mail");
  EXPECT_EQ(Read(At(kTreasureDir, kTreasureBoxName)), "the box of the pet before");
  EXPECT_EQ(ReadPet(dir)->kind, "ネコ");
}

TEST_F(HostFolder, NewPetNeverOverwritesAPetAndNeedsAName) {
  Write(At(kSettingsName), "name=ポチ\r\n");
  EXPECT_THROW(CreatePet(dir, Pet{"タマ", ""}), HostError);
  EXPECT_EQ(Read(At(kSettingsName)), "name=ポチ\r\n");

  fs::remove(At(kSettingsName));
  EXPECT_THROW(CreatePet(dir, Pet{"  ", ""}), HostError);
  EXPECT_THROW(CreatePet(dir, Pet{"a\r\nkind=x", ""}), HostError);
  EXPECT_FALSE(fs::exists(At(kSettingsName)));
}

// ---- mail ----

TEST_F(HostFolder, MailIsWrittenCountedAndNamedFreely) {
  EXPECT_EQ(CountMails(dir, kReceivedDir), 0);
  WriteMail(dir, kReceivedDir, "a.txt", "こんにちは\r\n");
  WriteMail(dir, kSentDir, "b.txt", "");
  EXPECT_EQ(Read(At(kReceivedDir, "a.txt")), "こんにちは\r\n");
  EXPECT_EQ(CountMails(dir, kReceivedDir), 1);
  EXPECT_EQ(CountMails(dir, kSentDir), 1);

  Write(At(kReceivedDir, "mail-x-1.txt"), "");
  EXPECT_EQ(FreeMailName(dir, kReceivedDir, "x"), "mail-x-2.txt");
  EXPECT_EQ(FreeMailName(dir, kSentDir, "x"), "mail-x-1.txt");
}

TEST_F(HostFolder, MailNeverReplacesAFileNorLeavesItsFolder) {
  WriteMail(dir, kReceivedDir, "a.txt", "first");
  EXPECT_THROW(WriteMail(dir, kReceivedDir, "a.txt", "second"), HostError);
  EXPECT_EQ(Read(At(kReceivedDir, "a.txt")), "first");

  for (std::string_view bad : {"", "..", "../x.txt", "..\\x.txt", "sub/x.txt", "x:y", "x.txt.", "a\tb"}) {
    EXPECT_THROW(WriteMail(dir, kReceivedDir, bad, "x"), HostError) << bad;
  }
  EXPECT_FALSE(fs::exists(At("x.txt")));
  EXPECT_EQ(CountMails(dir, kReceivedDir), 1);
}

TEST_F(HostFolder, DeletingAReceivedMailTouchesOnlyThatMail) {
  WriteMail(dir, kReceivedDir, "a.txt", "a");
  WriteMail(dir, kReceivedDir, "b.txt", "b");
  DeleteReceived(dir, "a.txt");
  EXPECT_FALSE(fs::exists(At(kReceivedDir, "a.txt")));
  EXPECT_TRUE(fs::exists(At(kReceivedDir, "b.txt")));
  EXPECT_THROW(DeleteReceived(dir, "a.txt"), HostError);

  Write(At(kSettingsName), "name=ポチ\r\n");
  EXPECT_THROW(DeleteReceived(dir, "..\\PostPet設定.ppc"), HostError);
  EXPECT_THROW(DeleteReceived(dir, "../PostPet設定.ppc"), HostError);
  EXPECT_TRUE(fs::exists(At(kSettingsName)));
}

// ---- friend book ----

TEST_F(HostFolder, FriendsAreAppendedOnePerLine) {
  EXPECT_TRUE(ReadFriends(dir).empty());
  AddFriend(dir, "たろう");
  Write(At(kFriendBookName), Read(At(kFriendBookName)) + "\r\nはなこ");  // no line end at the end
  AddFriend(dir, "じろう");
  EXPECT_EQ(ReadFriends(dir), (std::vector<std::string>{"たろう", "はなこ", "じろう"}));
  EXPECT_THROW(AddFriend(dir, ""), HostError);
  EXPECT_THROW(AddFriend(dir, "a\nb"), HostError);
  EXPECT_EQ(ReadFriends(dir).size(), 3u);
}

// ---- snacks ----

TEST_F(HostFolder, SnacksAreReadFromPacFilesLongEnoughToHoldACount) {
  Write(At(kSnackDir, "b.pac"), SnackBytes("\x83\x60\x83\x87\x83\x52", 3));  // チョコ in CP932
  Write(At(kSnackDir, "a.PAC"), SnackBytes("", 65535));
  Write(At(kSnackDir, "short.pac"), SnackBytes("x", 9, 902));
  Write(At(kSnackDir, "note.txt"), SnackBytes("x", 9));
  std::vector<Snack> snacks = ReadSnacks(dir);
  ASSERT_EQ(snacks.size(), 2u);
  EXPECT_EQ(snacks[0].fileName, "a.PAC");
  EXPECT_EQ(snacks[0].name, "");
  EXPECT_EQ(snacks[0].count, 65535);
  EXPECT_EQ(snacks[1].name, "チョコ");
  EXPECT_EQ(snacks[1].count, 3);
}

TEST_F(HostFolder, EatingChangesOnlyTheCountOfTheFirstSnackWithPiecesLeft) {
  const std::string none = SnackBytes("n", 0), unlimited = SnackBytes("u", 65535), many = SnackBytes("m", 256),
                    last = SnackBytes("l", 1);
  Write(At(kSnackDir, "1.pac"), none);
  Write(At(kSnackDir, "2.pac"), unlimited);
  Write(At(kSnackDir, "3.pac"), many);
  Write(At(kSnackDir, "4.pac"), last);

  Snack eaten = EatSnack(dir);
  EXPECT_EQ(eaten.fileName, "3.pac");
  EXPECT_EQ(eaten.count, 255);
  std::string after = Read(At(kSnackDir, "3.pac"));
  ASSERT_EQ(after.size(), many.size());
  EXPECT_EQ(static_cast<unsigned char>(after[881]), 0xFF);
  EXPECT_EQ(static_cast<unsigned char>(after[882]), 0x00);
  after[881] = many[881];
  after[882] = many[882];
  EXPECT_EQ(after, many);
  EXPECT_EQ(Read(At(kSnackDir, "1.pac")), none);
  EXPECT_EQ(Read(At(kSnackDir, "2.pac")), unlimited);
  EXPECT_EQ(Read(At(kSnackDir, "4.pac")), last);
}

TEST_F(HostFolder, NothingToEatIsAFailureThatChangesNothing) {
  EXPECT_THROW(EatSnack(dir), HostError);
  const std::string none = SnackBytes("n", 0), unlimited = SnackBytes("u", 65535);
  Write(At(kSnackDir, "1.pac"), none);
  Write(At(kSnackDir, "2.pac"), unlimited);
  EXPECT_THROW(EatSnack(dir), HostError);
  EXPECT_EQ(Read(At(kSnackDir, "1.pac")), none);
  EXPECT_EQ(Read(At(kSnackDir, "2.pac")), unlimited);
}

TEST_F(HostFolder, TreasuresAreTheFilesOfTheTreasureFolder) {
  EXPECT_TRUE(ListTreasures(dir).empty());
  Write(At(kTreasureDir, kTreasureBoxName), "box");
  Write(At(kTreasureDir, "花.bmp"), "x");
  fs::create_directories(At(kTreasureDir, "sub"));
  EXPECT_EQ(ListTreasures(dir), (std::vector<std::string>{"tzl001.pac", "花.bmp"}));
}

// ---- script ----

TEST(Script, EveryActionIsParsedWithItsArguments) {
  std::vector<Action> a = ParseScript(
      "\xEF\xBB\xBF# a comment\r\n"
      "receive r.txt やあ 元気？\r\n"
      "\r\n"
      "  send s.txt\r\n"
      "friend はな こ\n"
      "eat\n"
      "newpet タマ\n"
      "delete-received r.txt\n"
      "wait 250");
  ASSERT_EQ(a.size(), 7u);
  EXPECT_EQ(a[0].line, 2);
  EXPECT_EQ(a[0].verb, "receive");
  EXPECT_EQ(a[0].arg, "r.txt");
  EXPECT_EQ(a[0].text, "やあ 元気？");
  EXPECT_EQ(a[1].verb, "send");
  EXPECT_EQ(a[1].text, "");
  EXPECT_EQ(a[2].arg, "はな こ");
  EXPECT_EQ(a[3].verb, "eat");
  EXPECT_EQ(a[4].arg, "タマ");
  EXPECT_EQ(a[5].verb, "delete-received");
  EXPECT_EQ(a[6].arg, "250");
  EXPECT_EQ(a[6].line, 9);
}

TEST(Script, AMistakeIsReportedWithItsLineBeforeAnythingRuns) {
  for (std::string_view bad : {"receive", "send  ", "friend", "newpet ", "delete-received", "eat now", "wait",
                               "wait -1", "wait 600001", "wait 5x", "dance"}) {
    try {
      ParseScript("eat\n" + std::string(bad) + "\n");
      ADD_FAILURE() << "accepted: " << bad;
    } catch (const HostError& e) {
      EXPECT_TRUE(std::string(e.what()).starts_with("2 行目")) << e.what();
    }
  }
}

TEST_F(HostFolder, AScriptRunsEveryActionOnTheFolder) {
  Write(At(kSnackDir, "a.pac"), SnackBytes("a", 2));
  int slept = -1;
  for (const Action& a : ParseScript("newpet タマ\nreceive r.txt やあ\nreceive q.txt\nsend s.txt またね\n"
                                     "friend はなこ\neat\ndelete-received q.txt\nwait 15\n")) {
    RunAction(dir, a, [&](int ms) { slept = ms; });
  }
  EXPECT_EQ(ReadPet(dir)->name, "タマ");
  EXPECT_EQ(Read(At(kReceivedDir, "r.txt")), "やあ");
  EXPECT_FALSE(fs::exists(At(kReceivedDir, "q.txt")));
  EXPECT_EQ(Read(At(kSentDir, "s.txt")), "またね");
  EXPECT_EQ(ReadFriends(dir), std::vector<std::string>{"はなこ"});
  EXPECT_EQ(ReadSnacks(dir)[0].count, 1);
  EXPECT_EQ(slept, 15);
}

// ---- start log ----

TEST_F(HostFolder, StartLinesAreReadBackAndErrorLinesLeftOut) {
  EXPECT_TRUE(ReadStartLog(dir).empty());
  LogStart(dir, StartRecord{"\"C:\\ポスト ペット\\PostPet20.exe\" -ns", "C:\\", "C:\\x.exe", "タマ"});
  Action bad{3, "eat", "", "", "eat"};
  LogError(dir, &bad, "食べられるおやつがありません");
  LogError(dir, nullptr, "no script");
  LogStart(dir, StartRecord{"a\tb\r\nc", "d", "e", ""});
  std::vector<StartRecord> log = ReadStartLog(dir);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].cmd, "\"C:\\ポスト ペット\\PostPet20.exe\" -ns");
  EXPECT_EQ(log[0].cwd, "C:\\");
  EXPECT_EQ(log[0].exe, "C:\\x.exe");
  EXPECT_EQ(log[0].pet, "タマ");
  EXPECT_EQ(log[1].cmd, "a b  c");
  EXPECT_EQ(log[1].pet, "");
  std::string text = Read(At(kLogName));
  EXPECT_NE(text.find("error\tline=3\teat\t食べられるおやつがありません\r\n"), std::string::npos);
}

}  // namespace
}  // namespace hostsim
