// The file operations where POSIX systems and Windows differ most, run on both.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <tuple>
#include <vector>

#include "file_system.h"
#include "platform.h"
#include "test_files.h"

namespace kestrel {
namespace {

using test::kWindows;
FileSystem& fs = FileSystem::System();
FileHandle OpenWrite(const std::string& path) {
  bool created;
  return fs.OpenWrite(kCurrentFolder, path, &created);
}

// The error an open failed with, 0 if it succeeded.
int ErrorOf(FileHandle file) {
  const int error = errno;
  if (file != kNoFile) fs.Close(file);
  return file == kNoFile ? error : 0;
}

TEST(FileSystemTest, IdentityTellsTheSameFileFromAnother) {
  test::ScratchDir dir;
  test::WriteFile(dir / "one", "1");
  test::WriteFile(dir / "two", "2");
  const FileHandle a = fs.OpenRead(dir / "one"), b = OpenWrite(dir / "one"), c = fs.OpenRead(dir / "two");
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
}

// Device names are refused in any folder, NUL alone discards, and an error
// of the system's own reads as the system says it.
TEST(FileSystemTest, WindowsDeviceNamesAndErrors) {
  if (!kWindows) GTEST_SKIP() << "a Windows rule";
  test::ScratchDir dir;
  for (const char* name : {"nul.log", "CON", "Com1.txt", "lpt9", "aux .log", "conout$", "COM\u00B9"}) {
    EXPECT_EQ(ErrorOf(fs.OpenRead(dir / name)), kErrorReservedName) << name;
    EXPECT_EQ(ErrorOf(OpenWrite(dir / name)), kErrorReservedName) << name;
  }
  for (const char* name : {"com10.log", "nullify.log", "COMX.log"})
    EXPECT_EQ(ErrorOf(OpenWrite(dir / name)), 0) << name;
  EXPECT_EQ(ErrorOf(OpenWrite("NUL")), 0);
  const std::string corrupt = ErrorText(kErrorSystem | 1392);  // ERROR_FILE_CORRUPT
  EXPECT_TRUE(!corrupt.empty() && corrupt != ErrorText(EIO) && corrupt.back() != '\n') << corrupt;
}

// The command-line programs' reasons are English; the window's Japanese,
// its own and the system's: the C library's Japanese texts, or on Windows
// what the system says of the error in the user's language.
TEST(FileSystemTest, ReasonsInTheMessagesLanguage) {
  EXPECT_EQ(ErrorText(kErrorOutputIsLog), "not converted, the output is the log itself");
  SetMessageLanguage(Language::Japanese);
  for (const auto& [error, code, text] : {std::tuple{ENOENT, 2, "そのようなファイルやディレクトリはありません"},
                                          {EIO, 1117, "入力/出力エラーです"},
                                          {kErrorOutputIsLog, 0, "出力先がログそのものなので変換しませんでした"}})
    EXPECT_EQ(ErrorText(error), kWindows && code ? ErrorText(kErrorSystem | code) : text) << error;
  SetMessageLanguage(Language::English);
  EXPECT_EQ(ErrorText(ENOENT), kWindows ? "No such file or directory" : std::strerror(ENOENT));
}

TEST(FileSystemTest, WindowsPathsSplitAtEitherSeparator) {
  if (!kWindows) GTEST_SKIP() << "a Windows rule";
  EXPECT_EQ(DirectoryOf("C:\\x.log"), "C:\\");
  EXPECT_EQ(DirectoryOf("C:\\logs/ix1.log"), "C:\\logs");
  EXPECT_EQ(BaseName("C:/logs\\ix1.log"), "ix1.log");
  EXPECT_EQ(JoinPath("C:\\logs", "ix1.txt"), "C:\\logs\\ix1.txt");
}

// Settings go where the XDG rules say: never into the folder the program
// was started in, nor into the root of the file system (the account's home
// serves when HOME is missing or relative).
#ifndef _WIN32
TEST(FileSystemTest, UserConfigFolderFollowsTheRules) {
  for (const auto& [config, home, folder] :
       {std::tuple{"/x/cfg", "/h", "/x/cfg"}, {"rel", "/h", "/h/.config"}, {"", "rel", ""}}) {
    ::setenv("XDG_CONFIG_HOME", config, 1), ::setenv("HOME", home, 1);
    const std::string found = platform::UserConfigFolder();
    EXPECT_TRUE(*folder ? found == folder : found.size() > 8 && found[0] == '/' && found.ends_with("/.config"))
        << found;
  }
}
#endif

// Closes nothing: notes which files it was asked to close, and fails each
// close with `error` when that is set.
class ClosingFileSystem : public FileSystem {
 public:
  int Close(FileHandle file) override {
    closed.push_back(file);
    return error ? (errno = error, -1) : 0;
  }
  std::vector<FileHandle> closed;
  int error = 0;
};

TEST(OwnedFileTest, ClosesOnEveryWayOut) {
  ClosingFileSystem closing;
  { const OwnedFile file(closing, 7); }
  EXPECT_EQ(closing.closed, std::vector<FileHandle>{7});
  try {
    const OwnedFile file(closing, 8);
    throw std::runtime_error("stop");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(closing.closed, (std::vector<FileHandle>{7, 8}));
  { const OwnedFile none(closing, kNoFile); }
  EXPECT_EQ(closing.closed.size(), 2u);
}

TEST(OwnedFileTest, ReleaseHandsTheFileOver) {
  ClosingFileSystem closing;
  {
    OwnedFile file(closing, 7);
    EXPECT_EQ(file.Get(), 7);
    EXPECT_EQ(file.Release(), 7);
    EXPECT_EQ(file.Get(), kNoFile);
  }
  EXPECT_TRUE(closing.closed.empty());
}

TEST(OwnedFileTest, CloseSaysHowTheCloseWentAndClosesOnce) {
  ClosingFileSystem closing;
  closing.error = EIO;
  {
    OwnedFile file(closing, 7);
    errno = 0;
    EXPECT_EQ(file.Close(), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(file.Get(), kNoFile);
    EXPECT_EQ(file.Close(), 0);
  }
  EXPECT_EQ(closing.closed, std::vector<FileHandle>{7});
}

}  // namespace
}  // namespace kestrel
