#include "win_sys.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "test_files.h"

namespace kestrel::WinSys {
namespace {

using namespace std::string_literals;
using test::ReadFile;
using test::WriteFile;
using Names = std::vector<std::string>;

TEST(CutAtNullTest, KeepsTheTextBeforeTheFirstNul) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""}, {".txt", ".txt"}, {".txt\0\0\0"s, ".txt"}, {"\0.txt"s, ""}, {"a\0b\0c"s, "a"}};
  for (const auto& [text, expected] : cases) EXPECT_EQ(CutAtNull(text), expected) << text.size();
}

TEST(ReadsAsTrueTest, OnlyTrueInAnyCaseMeansOn) {
  for (const char* on : {"TRUE", "True", "true", "tRuE"}) EXPECT_TRUE(ReadsAsTrue(on)) << on;
  for (const char* off : {"", "FALSE", "1", "YES", "on", "TRUE ", " TRUE", "TRUEX", "TRU"}) {
    EXPECT_FALSE(ReadsAsTrue(off)) << off;
  }
}

class WinSysTest : public ::testing::Test {
 protected:
  std::string Get(const std::string& key, const std::string& section = kSection) {
    return GetIniString(ini_, section, key);
  }
  void Put(const std::string& key, const std::string& value, const std::string& section = kSection) {
    PutIniString(ini_, section, key, value);
  }

  test::ScratchDir dir_;
  std::string ini_ = dir_ / "Kestrel.ini";
};

TEST_F(WinSysTest, WithoutAFileEverySettingReadsEmpty) {
  EXPECT_EQ(Get(kFileExtKey), "");
  EXPECT_FALSE(ReadsAsTrue(Get(kOverWriteKey)));
  EXPECT_EQ(dir_.Entries(), Names{}) << "reading creates nothing";

  Put(kFileExtKey, ".txt", "Other");
  EXPECT_EQ(Get(kFileExtKey), "") << "the key lives in another section";
  EXPECT_EQ(Get(kOverWriteKey, "Other"), "");
}

TEST_F(WinSysTest, FirstWriteCreatesTheFileAndValuesReadBack) {
  Put(kFileExtKey, ".txt");
  EXPECT_EQ(ReadFile(ini_), "[Kestrel]\nFileExt=.txt\n");

  Put(kOverWriteKey, "TRUE");
  EXPECT_TRUE(ReadsAsTrue(Get(kOverWriteKey)));
  for (const std::string& value : Names{"", ".log", "a=b", "x ; y", "\x83\x65\x83\x4c", " .pad ", std::string(254, 'x')}) {
    Put(kFileExtKey, value);
    // Blanks around a value are not kept, as in the Windows store.
    EXPECT_EQ(Get(kFileExtKey), value == " .pad " ? ".pad" : value);
  }
  EXPECT_EQ(ReadFile(ini_), "[Kestrel]\nFileExt=" + std::string(254, 'x') + "\nOverWrite=TRUE\n");

  Put(kFileExtKey, std::string(300, 'y'));
  EXPECT_EQ(Get(kFileExtKey), std::string(kMaxValueLength, 'y'));
}

TEST_F(WinSysTest, AValueIsOneLine) {
  Put(kFileExtKey, ".txt\n[Evil]\nOverWrite=TRUE");
  EXPECT_EQ(Get(kFileExtKey), ".txt");
  EXPECT_EQ(Get(kOverWriteKey, "Evil"), "");
  Put(kFileExtKey, ".a\0.b"s);
  EXPECT_EQ(Get(kFileExtKey), ".a");
}

TEST_F(WinSysTest, HandWrittenValuesReadAsTheWindowsStoreReadsThem) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"[kestrel]\nfileext = txt", "txt"},  // names in any case; no dot is added
      {"[ KESTREL ]\r\nFILEEXT=\t.txt  \r\n", ".txt"},
      {"\xEF\xBB\xBF[Kestrel]\nFileExt=.bom", ".bom"},
      {"[Kestrel]\nFileExt=\".txt\"", ".txt"},
      {"[Kestrel]\nFileExt='.txt'", ".txt"},
      {"[Kestrel]\nFileExt=\".txt'", "\".txt'"},
      {"[Kestrel]\nFileExt=\"", "\""},
      {"[Kestrel]\nFileExt=", ""},
      {"[Kestrel]\nFileExt=first\nfileext=second", "first"},
      {"[Other]\nFileExt=.other\n[Kestrel]\n; FileExt=.comment", ""},
      {"[Kestrel]\nFileExt=" + std::string(300, 'z'), std::string(254, 'z')},
  };
  for (const auto& [file, expected] : cases) {
    WriteFile(ini_, file);
    EXPECT_EQ(Get(kFileExtKey), expected) << file;
  }
}

TEST_F(WinSysTest, WritingAKeyKeepsTheRestOfAHandWrittenFile) {
  WriteFile(ini_, test::Lines({"; Kestrel settings", "", "[Plover]", "Path = C:\\tools\\plover.exe", "",
                               "; output", "[kestrel]", "; no dot here", "fileext = txt", "Mode=1",
                               "FILEEXT=again", "; the end"}));
  Put(kFileExtKey, ".log");
  Put(kOverWriteKey, "FALSE");

  const std::string text = ReadFile(ini_);
  for (const char* kept : {"; Kestrel settings\r\n", "[Plover]\r\n", "; output\r\n[kestrel]\r\n",
                           "; no dot here\r\nfileext=.log\r\nMode=1\r\nOverWrite=FALSE\r\n", "; the end\r\n"}) {
    EXPECT_NE(text.find(kept), std::string::npos) << kept << " missing from\n" << text;
  }
  std::string lower = text;
  std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
  EXPECT_EQ(lower.find("fileext"), lower.rfind("fileext")) << "one FileExt line only:\n" << text;
  EXPECT_EQ(text.find("\n"), text.find("\r\n") + 1) << "CR LF line ends kept";
  EXPECT_EQ(GetIniString(ini_, "PLOVER", "path"), "C:\\tools\\plover.exe");
  EXPECT_EQ(Get(kFileExtKey), ".log");
  EXPECT_EQ(dir_.Entries(), Names{"Kestrel.ini"}) << "no temporary file left behind";
}

TEST_F(WinSysTest, ReplacingTheFileKeepsItsPermissionsAndLinks) {
  WriteFile(dir_ / "real.ini", "[Kestrel]\nFileExt=.txt\n");
  ::chmod((dir_ / "real.ini").c_str(), 0640);
  std::filesystem::create_symlink("real.ini", ini_);
  Put(kFileExtKey, ".log");

  EXPECT_TRUE(std::filesystem::is_symlink(ini_));
  EXPECT_EQ(ReadFile(dir_ / "real.ini"), "[Kestrel]\nFileExt=.log\n");
  struct stat info {};
  ASSERT_EQ(::stat(ini_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(dir_.Entries(), (Names{"Kestrel.ini", "real.ini"}));
}

TEST_F(WinSysTest, FailedWritesChangeNothing) {
  PutIniString(dir_ / "missing/Kestrel.ini", kSection, kFileExtKey, ".txt");
  EXPECT_EQ(dir_.Entries(), Names{});

  std::filesystem::create_directory(ini_);  // not a file
  Put(kFileExtKey, ".txt");
  EXPECT_TRUE(std::filesystem::is_directory(ini_));
  EXPECT_EQ(Get(kFileExtKey), "");
  std::filesystem::remove(ini_);

  WriteFile(ini_, "[Kestrel]\nFileExt=.txt\n");
  ::chmod(ini_.c_str(), 0444);  // read-only, even for an administrator
  Put(kFileExtKey, ".log");
  EXPECT_EQ(ReadFile(ini_), "[Kestrel]\nFileExt=.txt\n");
  EXPECT_EQ(dir_.Entries(), Names{"Kestrel.ini"});
}

}  // namespace
}  // namespace kestrel::WinSys
