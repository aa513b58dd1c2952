// The file operations where POSIX systems and Windows differ: one table, run
// on both.

#include <gtest/gtest.h>

#include <cerrno>

#include "file_system.h"
#include "test_files.h"

namespace kestrel {
namespace {

using namespace std::string_literals;
using test::kWindows;
using Dir = test::ScratchDir;
FileSystem& fs = FileSystem::System();

void Create(const std::string& path, const std::string& bytes) {
  const FileHandle file = fs.CreateExclusive(path);
  ASSERT_NE(file, kNoFile) << path << ": " << ErrorText(errno);
  EXPECT_EQ(fs.Write(file, bytes.data(), bytes.size()), static_cast<std::int64_t>(bytes.size()));
  EXPECT_EQ(fs.Flush(file) | fs.Close(file), 0);
}

// The error an open failed with, 0 if it succeeded.
int ErrorOf(FileHandle file) {
  const int error = errno;
  if (file != kNoFile) fs.Close(file);
  return file == kNoFile ? error : 0;
}

struct PlatformCase {
  const char* name;
  bool windowsOnly;
  void (*check)(const Dir& dir);
};

void PrintTo(const PlatformCase& c, std::ostream* out) { *out << c.name; }

const PlatformCase kCases[] = {
    {"BytesPassThroughUnchanged", false, [](const Dir& dir) {
       const std::string bytes = "a\nb\r\nc\x1a" "d\r\x1a\n\0e"s;  // no text mode, no end at Ctrl-Z
       Create(dir / "binary", bytes);
       const FileHandle file = fs.OpenRead(dir / "binary");
       std::string read(64, '\0');
       read.resize(static_cast<std::size_t>(std::max<std::int64_t>(fs.Read(file, read.data(), read.size()), 0)));
       EXPECT_EQ(read, bytes);
       fs.Close(file);
     }},
    {"ReplaceTakesThePlaceOfAnExistingFileTwice", false, [](const Dir& dir) {
       Create(dir / "target", "old");
       for (const std::string content : {"first", "second"}) {
         Create(dir / "new", content);
         ASSERT_EQ(fs.Replace(dir / "new", dir / "target"), 0) << ErrorText(errno);
         EXPECT_EQ(test::ReadFile(dir / "target"), content);
         EXPECT_EQ(dir.Entries(), std::vector<std::string>{"target"});
       }
     }},
    {"IdentityTellsTheSameFileFromAnother", false, [](const Dir& dir) {
       Create(dir / "one", "1");
       Create(dir / "two", "2");
       const FileHandle a = fs.OpenRead(dir / "one"), b = fs.OpenWrite(dir / "one"), c = fs.OpenRead(dir / "two");
       FileInfo ia, ib, ic;
       ASSERT_EQ(fs.Info(a, &ia) | fs.Info(b, &ib) | fs.Info(c, &ic), 0);
       EXPECT_TRUE(ia.identity.known);
       EXPECT_TRUE(MaybeSameFile(ia.identity, ib.identity));
       EXPECT_FALSE(MaybeSameFile(ia.identity, ic.identity));
       EXPECT_TRUE(MaybeSameFile(FileIdentity{}, ic.identity));  // unknown: the safe way
       // Only the index known (Wine, for a redirected standard output).
       EXPECT_TRUE(MaybeSameFile({0, ia.identity.index, true, false}, ia.identity));
       EXPECT_FALSE(MaybeSameFile({0, ic.identity.index, true, false}, ia.identity));
       for (FileHandle file : {a, b, c}) fs.Close(file);
     }},
    {"DirectoryAsInputIsADirectory", false, [](const Dir& dir) {
       // POSIX opens a folder for reading and fails the read; Windows fails the open.
       const FileHandle file = fs.OpenRead(dir.Path());
       char byte;
       const int error = file == kNoFile ? errno : fs.Read(file, &byte, 1) < 0 ? errno : 0;
       if (file != kNoFile) fs.Close(file);
       EXPECT_EQ(error, EISDIR);
     }},
    {"CreateExclusiveRefusesATakenName", false, [](const Dir& dir) {
       Create(dir / "taken", "");
       EXPECT_EQ(ErrorOf(fs.CreateExclusive(dir / "taken")), EEXIST);
       EXPECT_EQ(ErrorOf(fs.CreateExclusive(dir.Path())), EEXIST);
     }},
    {"NamesOutsideAnyCodePageRoundTrip", false, [](const Dir& dir) {
       // 表 ends in the byte of a backslash in Shift-JIS; 한 and ü are not in it at all.
       const std::string name = "\u8868\ud55c\u00fc.log";
       Create(dir / name, "x");
       EXPECT_EQ(dir.Entries(), std::vector<std::string>{name});
     }},
    {"DeviceNamesAreRefused", true, [](const Dir& dir) {
       for (const char* name : {"nul.log", "CON", "Com1.txt", "lpt9", "aux .log", "conout$"}) {
         EXPECT_EQ(ErrorOf(fs.OpenRead(dir / name)), kErrorReservedName) << name;
         EXPECT_EQ(ErrorOf(fs.OpenWrite(dir / name)), kErrorReservedName) << name;
       }
       EXPECT_EQ(ErrorOf(fs.OpenWrite(dir / "com10.log")) | ErrorOf(fs.OpenWrite(dir / "nullify.log")), 0);
     }},
    {"WindowsPathsSplitAtEitherSeparator", true, [](const Dir&) {
       EXPECT_EQ(DirectoryOf("C:\\x.log"), "C:\\");
       EXPECT_EQ(DirectoryOf("C:\\logs/ix1.log"), "C:\\logs");
       EXPECT_EQ(BaseName("C:/logs\\ix1.log"), "ix1.log");
       EXPECT_EQ(JoinPath("C:\\logs", "ix1.txt"), "C:\\logs\\ix1.txt");
     }},
};

class PlatformTest : public testing::TestWithParam<PlatformCase> {};

TEST_P(PlatformTest, Holds) {
  if (GetParam().windowsOnly && !kWindows) GTEST_SKIP() << "a Windows rule";
  GetParam().check(Dir());
}

INSTANTIATE_TEST_SUITE_P(Cases, PlatformTest, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kestrel
