#include "files/left_out.h"

#include <gtest/gtest.h>

TEST(LeftOutPaths, CountsAllNamesFiveAndShortensLongPathsBetweenCharacters) {
  EXPECT_EQ(LeftOutPaths().Notice(), "");

  // Fifty double-byte characters: the cut falls between two of them at both ends.
  std::string wide;
  for (int i = 0; i < 50; ++i) wide += "ソ";
  EXPECT_EQ(ShortenedInTheMiddle(wide, 80), wide.substr(0, 26) + "…" + wide.substr(48));
  // With one byte more in front, both cuts move by a byte and still fall between characters.
  EXPECT_EQ(ShortenedInTheMiddle("C" + wide, 80), "C" + wide.substr(0, 24) + "…" + wide.substr(48));
  EXPECT_EQ(ShortenedInTheMiddle(wide.substr(0, 80), 80), wide.substr(0, 80));

  LeftOutPaths left;
  for (const char* path : {"C:\\曲\\caf?.mp3", "C:\\曲\\??.mp3", "C:\\読めない", "D:\\a", "D:\\b", "D:\\c"})
    left.Add(path);
  left.Add("C:\\" + wide);
  EXPECT_EQ(left.Count(), 7u);
  EXPECT_EQ(left.Notice(),
            "7個のファイルまたはフォルダは、名前に Shift_JIS（コードページ 932）で書けない文字があるか、"
            "パスが長すぎるか、読めないため、一覧に入れていません。\n\nC:\\曲\\caf?.mp3\nC:\\曲\\??.mp3\nC:"
            "\\読めない\nD:\\a\nD:\\b\nほか2個\n\n"
            "このプログラムは Shift_JIS で書ける名前だけを扱います。名前を変えるか、短いパスの場所に移すと"
            "一覧に入れられます。名前を変えられないファイルは zumibo-fit で計画できます。"
            "詳しくはヘルプをご覧ください。");
}
