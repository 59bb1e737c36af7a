#include <gtest/gtest.h>

#include "app/settings.h"
#include "search/byte_count.h"
#include "tests/temp_dir.h"

// The medias.ini that ships with the program: presets safe on real media, a maximum file count,
// no previous value, in exactly the format the program writes. Each preset is the disc less
// 4,400 sectors (9,011,200 bytes): room for the file system of 2,000 files in 700 folders, each
// file one byte past a sector, mastered with genisoimage or xorriso -J -R.
TEST(ShippedSettings, PresetsAndFormat) {
  const std::string path = std::string(ZUMIBO_SOURCE_DIR) + "/res/medias.ini";
  std::string s[kSettingCount] = {"x", "x", "x", "x", "x"};
  LoadSettings(path, s);
  EXPECT_EQ(ParseMaxFileCount(s[kMaxCountSetting]), 9999);
  EXPECT_EQ(ParseByteCount(s[kCd650Setting]), 672'972'800);  // CD 74 min: 333,000 sectors of 2,048 bytes
  EXPECT_EQ(ParseByteCount(s[kCd700Setting]), 728'268'800);  // CD 80 min: 360,000 sectors
  EXPECT_EQ(ParseByteCount(s[kDvdSetting]), 4'691'361'792);  // DVD+R: 2,295,104 sectors, less than DVD-R
  EXPECT_EQ(s[kPreviousSetting], "");
  EXPECT_EQ(ReadFileBytes(path), FormatSettings(s));
}
