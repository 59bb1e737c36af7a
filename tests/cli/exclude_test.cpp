// The patterns of --exclude and --exclude-from: rsync's meaning, in bounded time and space.
#include "cli/exclude.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/temp_dir.h"

TEST(Excludes, GlobsMatchAsRsyncsDoInBoundedTime) {
  const struct {
    const char* glob;
    const char* text;
    bool match;
  } cases[] = {{"*.tmp", "a.tmp", true},      {"*.tmp", "d/a.tmp", false},   {"**.tmp", "d/a.tmp", true},
               {"a/*/c", "a/b/c", true},      {"a/*/c", "a/b/x/c", false},   {"a/**/c", "a/b/x/c", true},
               {"?.jpg", "/.jpg", false},     {"[a-c]x", "bx", true},        {"[!a-c]x", "bx", false},
               {"\\*", "*", true},            {"\\*", "a", false},           {"*", "", true},
               {"a*b*c", "axxbyyc", true},    {"a*b*c", "axxbyy", false},    {"*/x", "a/b/x", false},
               {"**/x", "a/b/x", true},       {"[", "[", true},              {"ab\\", "ab\\", true}};
  for (const auto& c : cases) EXPECT_EQ(GlobMatch(c.glob, c.text), c.match) << c.glob << " " << c.text;
  // Backtracking without bound took minutes on these: they now take microseconds.
  EXPECT_FALSE(GlobMatch("*a*a*a*a*a*a*a*a*a*a*a*a*b", std::string(200, 'a')));
  EXPECT_FALSE(GlobMatch("**a**a**a**a**a**a**a**b", std::string(100, 'a') + "/" + std::string(100, 'a')));

  Excludes excludes;
  std::string why;
  EXPECT_FALSE(excludes.ReadFrom("/dev/urandom", why));
  EXPECT_NE(why.find("not a file of patterns"), std::string::npos) << why;
  TempDir dir;
  WriteFileBytes(dir / "ok", "# comment\n*.tmp\r\n\ncache/\n");
  EXPECT_TRUE(excludes.ReadFrom(dir / "ok", why));
  EXPECT_TRUE(excludes.Excluded("x/a.tmp", false));
  EXPECT_TRUE(excludes.Excluded("x/cache", true));
  EXPECT_FALSE(excludes.Excluded("x/cache", false));
}
