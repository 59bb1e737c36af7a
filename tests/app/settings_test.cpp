#include "app/settings.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/temp_dir.h"

namespace {

using Settings = std::string[kSettingCount];

void ExpectSettings(const Settings& s, std::initializer_list<const char*> expected) {
  int i = 0;
  for (const char* e : expected) EXPECT_EQ(s[i++], e) << "setting " << (i - 1);
}

}  // namespace

TEST(Settings, WritesTheExactBytesAndReadsThemBack) {
  TempDir dir;
  const std::string path = dir / "medias.ini";
  Settings out = {"20", "681,984,000", "737,280,000", "4,700,372,992", "1,000"};
  ASSERT_TRUE(SaveSettings(path, out));
  EXPECT_EQ(ReadFileBytes(path),
            "20\tMaxLoop Limit\r\n681,984,000\t650MBCD-ROM\r\n737,280,000\t700MBCD-ROM\r\n"
            "4,700,372,992\tDVD\r\n1,000\t\x91\x4F\x89\xF1\x93\xFC\x97\xCD\x92\x6C\r\n");
  Settings in;
  LoadSettings(path, in);
  ExpectSettings(in, {"20", "681,984,000", "737,280,000", "4,700,372,992", "1,000"});

  // Empty values are written as lines that begin with the TAB, and read back as empty,
  // never as their label. Double-byte values survive byte for byte.
  Settings empty = {"", "", "", "", "ソ表"};
  ASSERT_TRUE(SaveSettings(path, empty));
  EXPECT_EQ(ReadFileBytes(path).substr(0, 16), "\tMaxLoop Limit\r\n");
  Settings again = {"x", "x", "x", "x", "x"};
  LoadSettings(path, again);
  ExpectSettings(again, {"", "", "", "", "ソ表"});
  // No temporary file is left behind.
  int files = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 1);
}

TEST(Settings, MalformedFilesReadByLineNumber) {
  TempDir dir;
  const std::string path = dir / "medias.ini";
  {
    Settings s = {"keep", "keep", "keep", "keep", "keep"};
    LoadSettings(dir / "missing.ini", s);  // a missing file changes nothing
    ExpectSettings(s, {"keep", "keep", "keep", "keep", "keep"});
  }
  {
    WriteFileBytes(path, "3\tMaxLoop Limit\r\n1\t650MBCD-ROM\r\n2\t700MBCD-ROM\r\n");
    Settings s;
    LoadSettings(path, s);
    ExpectSettings(s, {"3", "1", "2", "", ""});
  }
  {
    // Labels are never read; swapping lines swaps values; LF-only line ends and a missing last
    // line end read the same; lines after the fifth are ignored.
    WriteFileBytes(path, "a\tanything\nb\t\n\tDVD\nd\ne with space\tx\nsixth\n");
    Settings s;
    LoadSettings(path, s);
    ExpectSettings(s, {"a", "b", "", "d", "e with space"});
  }
  {
    // A value holding a TAB keeps its part before the TAB; a CR ends it too.
    WriteFileBytes(path, "1\t2\tMaxLoop Limit\r\n5\r6\n");
    Settings s;
    LoadSettings(path, s);
    ExpectSettings(s, {"1", "5", "", "", ""});
  }
  {
    // Of a line longer than 255 bytes the first 255 are read and the rest is passed over, so the
    // settings after it keep their lines; a double-byte character cut in two goes as a whole.
    const std::string longValue(300, '9');
    WriteFileBytes(path,
                   longValue + "\tMaxLoop Limit\r\nnext\r\n" + std::string(254, 'x') + "\x83\x5C\tDVD\r\nlast\r\n");
    Settings s;
    LoadSettings(path, s);
    EXPECT_EQ(s[0], std::string(255, '9'));
    EXPECT_EQ(s[1], "next");
    EXPECT_EQ(s[2], std::string(254, 'x'));
    EXPECT_EQ(s[3], "last");
  }
  {
    // CR LF counts as one byte of the 255: a 254-byte value with its CR LF is a single line.
    const std::string value(254, '7');
    WriteFileBytes(path, value + "\r\nsecond\r\n");
    Settings s;
    LoadSettings(path, s);
    EXPECT_EQ(s[0], value);
    EXPECT_EQ(s[1], "second");
  }
  {
    WriteFileBytes(path, "");
    Settings s = {"k", "k", "k", "k", "k"};
    LoadSettings(path, s);
    ExpectSettings(s, {"k", "k", "k", "k", "k"});
  }
}

TEST(Settings, AFailedWriteKeepsTheOldFile) {
  TempDir dir;
  const std::string path = dir / "medias.ini";
  const std::string old =
      "9\tMaxLoop "
      "Limit\r\n\t650MBCD-ROM\r\n\t700MBCD-ROM\r\n\tDVD\r\nold\t\x91\x4F\x89\xF1\x93\xFC\x97\xCD\x92\x6C\r\n";
  WriteFileBytes(path, old);
  Settings s = {"1", "2", "3", "4", "5"};

  // The temporary file cannot be created (its name is taken by a folder, as where the folder
  // forbids new files): the file itself is rewritten.
  const std::string temporary = path + "." + std::to_string(getpid()) + ".tmp";
  std::filesystem::create_directory(temporary);
  EXPECT_TRUE(SaveSettings(path, s));
  EXPECT_EQ(ReadFileBytes(path), FormatSettings(s));
  std::filesystem::remove(temporary);
  WriteFileBytes(path, old);

  // The folder does not exist at all.
  EXPECT_FALSE(SaveSettings(dir / "no-such-folder/medias.ini", s));

  // The temporary file is written but cannot replace the target (a folder stands there):
  // the temporary file is removed again.
  const std::string blocked = dir / "blocked.ini";
  std::filesystem::create_directory(blocked);
  std::filesystem::create_directory(blocked + "/inside");
  EXPECT_FALSE(SaveSettings(blocked, s));
  EXPECT_FALSE(std::filesystem::exists(blocked + "." + std::to_string(getpid()) + ".tmp"));

  // And a good write still replaces the old file.
  EXPECT_TRUE(SaveSettings(path, s));
  Settings back;
  LoadSettings(path, back);
  ExpectSettings(back, {"1", "2", "3", "4", "5"});
}

TEST(Settings, ALinkIsWrittenThroughAndStaysALink) {
  TempDir dir;
  std::filesystem::create_directory(dir / "elsewhere");
  const std::string target = dir / "elsewhere/medias.ini", link = dir / "medias.ini";
  WriteFileBytes(target, "old\r\n");
  std::filesystem::create_symlink(target, link);
  Settings s = {"1", "2", "3", "4", "5"};
  EXPECT_TRUE(SaveSettings(link, s));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadFileBytes(target), FormatSettings(s));
  // A link that leads nowhere yet: the file is made where it leads.
  std::filesystem::remove(target);
  EXPECT_TRUE(SaveSettings(link, s));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadFileBytes(target), FormatSettings(s));
}

TEST(Settings, PathBesideTheExecutable) {
  EXPECT_EQ(SettingsPathBeside("C:\\Program Files\\Zumibo\\Zumibo.exe"), "C:\\Program Files\\Zumibo\\medias.ini");
  EXPECT_EQ(SettingsPathBeside("C:\\ツール\\ソ\\Zumiboソ.exe"), "C:\\ツール\\ソ\\medias.ini");
  EXPECT_EQ(SettingsPathBeside("C:\\表"), "C:\\medias.ini");
  EXPECT_EQ(SettingsPathBeside("Zumibo.exe"), "Zumibo.exemedias.ini");
}
