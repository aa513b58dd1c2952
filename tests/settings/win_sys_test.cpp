#include "win_sys.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <optional>

#include "faulty_file_system.h"
#include "test_files.h"

namespace kestrel::WinSys {
namespace {

namespace fs = std::filesystem;
using File = std::optional<std::string>;  // the file's bytes, or no file

struct Case {
  File before, after;             // the file as the user left it, and then (unset: untouched)
  std::vector<std::string> puts;  // the settings written in between, "key=value"
  std::string fileExt;            // what FileExt and OverWrite then read as
  bool overWrite;
  std::function<void(const std::string&, test::FaultyFileSystem&)> make = {};  // changes the world first
  bool posixOnly = false;                                                      // symbolic links, named pipes, devices
};

TEST(WinSysTest, SettingsReadAndWriteAsTheWindowsStoreDoes) {
  const std::string dup = "[Kestrel]\r\nOverWrite=FALSE\r\n; an old one\r\noverwrite=TRUE\r\n";
  const std::string hand = "; Kestrel\n\n[Plover]\nPath = C:\\plover.exe\n\n; out\n[kestrel]\n# no dot\nfileext = ";
  const std::string bom = "\xEF\xBB\xBF[Other]\r\nFileExt=.other", y = std::string(300, 'y');
  auto link = [](const std::string& ini, auto&) {  // a link to a settings file that only its group may read
    fs::rename(ini, ini + ".real"), fs::create_symlink("Kestrel.ini.real", ini), fs::permissions(ini, fs::perms(0640));
  };
  // A table: its rows stay as written.
  // clang-format off
  const std::vector<Case> cases = {
      {{}, {}, {}, "", false},
      {{}, "[Kestrel]\r\nFileExt=.log\r\nOverWrite=TRUE\r\n", {"FileExt=.txt", "OverWrite=TRUE", "FileExt=.log"},
       ".log", true},
      {dup, dup + "FileExt=.txt\r\n", {"FileExt=.txt"}, ".txt", false},
      {dup, "[Kestrel]\r\nOverWrite=TRUE\r\n; an old one\r\noverwrite=TRUE\r\n", {"OverWrite=TRUE"}, "", true},
      {hand + "txt\nMode=1\n\n[Last]\nx=1", hand + ".log\nMode=1\nOverWrite=FALSE\n\n[Last]\nx=1",
       {"FileExt=.log", "OverWrite=FALSE"}, ".log", false},
      {bom, bom + "\r\n[Kestrel]\r\nFileExt=.txt\r\n", {"FileExt=.txt"}, ".txt", false},
      {bom.substr(0, 3), bom.substr(0, 3) + "[Kestrel]\r\nFileExt=.txt\r\n", {"FileExt=.txt"}, ".txt", false},
      {"[Other]\nFileExt=.o\n[Kestrel]\n; FileExt=.no\n",
       "[Other]\nFileExt=.o\n[Kestrel]\nFileExt=.txt\n; FileExt=.no\n", {"FileExt=.txt"}, ".txt", false},
      {{}, "[Kestrel]\r\nFileExt=.txt\r\n", {"FileExt=.txt\n[Evil]\nOverWrite=TRUE"}, ".txt", false},
      {{}, "[Kestrel]\r\nFileExt=a=b ; \x83\x65\r\n", {"FileExt=a=b ; \x83\x65"}, "a=b ; \x83\x65", false},
      {"[Kestrel]\nA=x", "[Kestrel]\nA=x\nFileExt=.a\n", {std::string("FileExt=.a\0.b", 14)}, ".a", false},
      {{}, "[Kestrel]\r\nFileExt=" + y + "\r\n", {"FileExt=" + y}, y.substr(0, kMaxValueLength), false},
      {"[ KESTREL ]\r\nFILEEXT=\t txt  \r\nOVERWRITE=true", {}, {}, "txt", true},
      {"[Kestrel]\nFileExt=\".txt\"\nOverWrite='True'", {}, {}, ".txt", true},
      {"[Kestrel]\nFileExt=\".txt'\nOverWrite=YES", {}, {}, "\".txt'", false},
      {"[Kestrel]\nFileExt=\"\nOverWrite=1", {}, {}, "\"", false},
      {"[Kestrel]\nFileExt=\"\"", {}, {}, "", false},
      {"[Kestrel]\nFileExt=.txt", "[Kestrel]\nFileExt=.log", {"FileExt=.log"}, ".log", false, link, true},
      {"[Kestrel]\nFileExt=.txt", {}, {"FileExt=.log"}, ".txt", false,
       [](auto&, auto& faulty) { faulty.Fail(faulty.kFlush, "Kestrel", EIO); }},
      // Not a settings file: it reads as missing (a read-only one reads), is
      // never written, and neither hangs nor fills memory.
      {{}, {}, {"FileExt=.log"}, "", false, [](auto& ini, auto&) { test::MakeFifo(ini); }, true},
      {{}, {}, {"FileExt=.log"}, "", false, [](auto& ini, auto&) { fs::create_symlink("/dev/zero", ini); }, true},
      {"[Kestrel]\n;" + std::string(1 << 20, 'x'), {}, {"FileExt=.log"}, "", false},
      {"[Kestrel]\nFileExt=.ro", {}, {"FileExt=.log"}, ".ro", false,
       [](auto& ini, auto&) { fs::permissions(ini, fs::perms(0444)); }},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE("row " + std::to_string(&c - cases.data()) + ": " + c.before.value_or("(no file)").substr(0, 40));
    if (test::kWindows && c.posixOnly) continue;
    test::ScratchDir dir;
    const std::string ini = dir / "Kestrel.ini";
    if (c.before) test::WriteFile(ini, *c.before);
    test::FaultyFileSystem faulty;
    if (c.make) c.make(ini, faulty);
    const auto entries = dir.Entries();
    const fs::file_type type = fs::symlink_status(ini).type();
    const fs::perms perms = fs::status(ini).permissions();
    for (const std::string& put : c.puts)
      PutIniString(ini, kSection, put.substr(0, put.find('=')), put.substr(put.find('=') + 1), faulty);
    EXPECT_EQ(fs::symlink_status(ini).type(), c.after && !c.before ? fs::file_type::regular : type);
    EXPECT_EQ(fs::status(ini).permissions(), c.before ? perms : fs::status(ini).permissions());
    EXPECT_EQ(dir.Entries(), c.after && !c.before ? std::vector<std::string>{"Kestrel.ini"} : entries);
    EXPECT_EQ(c.before || c.after ? test::ReadFile(ini) : "", c.after.value_or(c.before.value_or("")));
    EXPECT_EQ(GetIniString(ini, kSection, kFileExtKey), c.fileExt);
    EXPECT_EQ(ReadsAsTrue(GetIniString(ini, kSection, kOverWriteKey)), c.overWrite);
  }
}

}  // namespace
}  // namespace kestrel::WinSys
