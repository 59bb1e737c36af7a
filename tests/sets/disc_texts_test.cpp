// The files every disc of a set carries: SHA256SUMS as sha256sum -c reads it, and the set file.
#include "sets/disc_texts.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>

#include "tests/temp_dir.h"

TEST(DiscTexts, Sha256sumChecksEveryNameWeWrite) {
  TempDir dir;
  const std::vector<std::string> names = {"plain.jpg",   "a\nb",  "back\\slash",      "car\rriage", "tail\r",
                                          " lead space", "*star", "写真/2025/猫.jpg", "x/y/z.bin"};
  std::vector<SumsEntry> entries;
  std::vector<std::string_view> paths;
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::filesystem::create_directories(std::filesystem::path(dir / names[i]).parent_path());
    WriteFileBytes(dir / names[i], std::string(i * 1000, static_cast<char>('a' + i)));
    Sha256Digest digest{};
    std::uint64_t size = 0;
    std::string why;
    ASSERT_TRUE(HashFile(dir / names[i], digest, size, nullptr, why)) << why;
    EXPECT_EQ(size, i * 1000);
    entries.push_back({names[i], digest});
    paths.push_back(names[i]);
  }
  const std::string sums = SumsText(entries);
  EXPECT_EQ(SumsSize(paths), static_cast<std::int64_t>(sums.size()));
  WriteFileBytes(dir / "SHA256SUMS", sums);
  const std::string command = "cd '" + dir.path() + "' && sha256sum --strict -c SHA256SUMS 2>&1";
  std::FILE* p = popen(command.c_str(), "r");
  std::string out;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) out.append(buffer, n);
  EXPECT_EQ(pclose(p), 0) << out;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), static_cast<std::ptrdiff_t>(names.size())) << out;
  EXPECT_EQ(out.find("FAILED"), std::string::npos) << out;

  // A changed byte is what sha256sum -c catches too.
  WriteFileBytes(dir / "plain.jpg", "x");
  EXPECT_NE(std::system(("cd '" + dir.path() + "' && sha256sum --status -c SHA256SUMS").c_str()), 0);
}

TEST(DiscTexts, TheSetFileReadsBackAndNothingElseReadsAsOne) {
  const DiscLabel label{"photos", std::string(32, 'a'), 14, "2026-01-05", "0123456789abcdef"};
  DiscLabel read;
  std::string why;
  ASSERT_TRUE(ParseSetFile(SetFileText(label), read, why)) << why;
  EXPECT_EQ(read, label);
  for (const char* text : {"", "zumibo-fit disc set\n", "photos\nset: photos\n",
                           "zumibo-fit disc set\nset-id: aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\ndisc: 0\n"
                           "disc-id: 0123456789abcdef\n"})
    EXPECT_FALSE(ParseSetFile(text, read, why)) << text;
}
