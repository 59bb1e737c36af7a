#include "app/settings.h"

#include <cstdio>

#include "app/file_replace.h"
#include "files/cp932.h"

namespace {

const char* const kLabels[kSettingCount] = {"MaxLoop Limit", "650MBCD-ROM", "700MBCD-ROM", "DVD", "前回入力値"};

constexpr int kLineBuffer = 256;  // one read takes at most 255 bytes, like fgets into 256

// Reads like fgets on a text-mode stream: CR LF arrives as LF, and the piece ends after the
// line feed or after 255 bytes. Returns false when nothing could be read.
bool ReadPiece(std::FILE* f, std::string& piece) {
  piece.clear();
  while (piece.size() < kLineBuffer - 1) {
    int c = std::getc(f);
    if (c == EOF) break;
    if (c == '\r') {
      const int next = std::getc(f);
      if (next == '\n') c = '\n';
      else if (next != EOF) std::ungetc(next, f);
    }
    piece.push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  return !piece.empty();
}

// Reads the next line's first 255 bytes and passes over the rest of it, so that an over-long
// value never spills into the next setting.
bool ReadLine(std::FILE* f, std::string& line) {
  if (!ReadPiece(f, line)) return false;
  if (line.back() == '\n') return true;
  std::string rest;
  while (ReadPiece(f, rest) && rest.back() != '\n') {
  }
  // A cut may fall between the two bytes of a double-byte character: its first byte goes too.
  std::size_t i = 0;
  while (i < line.size()) i += cp932::IsLeadByte(static_cast<unsigned char>(line[i])) ? 2 : 1;
  if (i > line.size()) line.pop_back();
  return true;
}

}  // namespace

std::string SettingsPathBeside(const std::string& executablePath) {
  const std::ptrdiff_t sep = FindLastSeparator(executablePath);
  const std::string folder = sep < 0 ? executablePath : executablePath.substr(0, static_cast<std::size_t>(sep + 1));
  return folder + "medias.ini";
}

void LoadSettings(const std::string& path, std::string (&settings)[kSettingCount]) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return;
  std::string piece;
  for (int i = 0; i < kSettingCount && ReadLine(f, piece); ++i) {
    settings[i] = piece.substr(0, piece.find_first_of("\t\r\n"));
  }
  std::fclose(f);
}

std::string FormatSettings(const std::string (&settings)[kSettingCount]) {
  std::string text;
  for (int i = 0; i < kSettingCount; ++i) {
    text += settings[i];
    text += '\t';
    text += kLabels[i];
    text += "\r\n";
  }
  return text;
}

namespace {

// Writes the text and closes the file; false when any of it failed.
bool WriteAndClose(std::FILE* f, const std::string& text) {
  bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  written = std::fflush(f) == 0 && written;
  return std::fclose(f) == 0 && written;
}

}  // namespace

bool SaveSettings(const std::string& path, const std::string (&settings)[kSettingCount]) {
  const std::string text = FormatSettings(settings);
  // A link is written through: replacing it would leave a plain file where the link was.
  if (!IsLink(path)) {
    const std::string temporary = TemporaryNameBeside(path);
    if (std::FILE* f = std::fopen(temporary.c_str(), "wb")) {
      const bool written = WriteAndClose(f, text);
      if (written && ReplaceFileWith(temporary, path)) return true;
      std::remove(temporary.c_str());
      // A complete copy that cannot take the file's place (another program holds the file, or
      // the folder lets files be written but not deleted) leaves the file to be written in place;
      // after a copy that could not be written (a full disk) the old file is kept as it is.
      if (!written) return false;
    }
  }
  // Also where the folder forbids new files: the file itself may still be writable.
  std::FILE* inPlace = std::fopen(path.c_str(), "wb");
  return inPlace && WriteAndClose(inPlace, text);
}
