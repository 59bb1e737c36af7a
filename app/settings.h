#pragma once
// medias.ini: five lines "value<TAB>label<CR><LF>" in code page 932, identified by line number.

#include <string>

constexpr int kSettingCount = 5;

enum SettingIndex {
  kMaxCountSetting = 0,  ///< "MaxLoop Limit": maximum files in one combination, as typed
  kCd650Setting = 1,     ///< "650MBCD-ROM": capacity text of the CD(650MB) button
  kCd700Setting = 2,     ///< "700MBCD-ROM": capacity text of the CD(700MB) button
  kDvdSetting = 3,       ///< "DVD": capacity text of the DVD(4.7GB) button
  kPreviousSetting = 4,  ///< "前回入力値": capacity text when the program last ended with 終了
};

/// The settings file beside an executable: its folder (up to and including the last backslash)
/// followed by "medias.ini"; a path without a backslash gets the name directly after it.
std::string SettingsPathBeside(const std::string& executablePath);

/// Reads the settings from the file at path. Of each line the first 255 bytes are read (the rest
/// of a longer line is passed over); a value ends at its first TAB, CR or LF.
/// Settings without a line, or all of them when the file cannot be opened, keep their values.
void LoadSettings(const std::string& path, std::string (&settings)[kSettingCount]);

/// The exact bytes SaveSettings writes for these values.
std::string FormatSettings(const std::string (&settings)[kSettingCount]);

/// Writes the settings to a temporary file beside path and replaces the file only once the new
/// one is complete, so a failed write never loses the old settings. Where no temporary file can
/// be made there, or the complete one cannot replace the file, and where the file is a link, the
/// file itself is rewritten. False when the settings could not be written.
bool SaveSettings(const std::string& path, const std::string (&settings)[kSettingCount]);
