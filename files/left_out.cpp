#include "files/left_out.h"

#include "files/cp932.h"
#include "files/size_text.h"

namespace {

constexpr std::size_t kNamesShown = 5;
// Longer paths are shortened, so that a message box shows each on one line.
constexpr std::size_t kLongestShown = 80;
constexpr char kEllipsis[] = "…";

// Where each character of the text begins, and the text's end.
std::vector<std::size_t> CharacterStarts(std::string_view text) {
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < text.size();) {
    starts.push_back(i);
    const bool pair = cp932::IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() &&
                      cp932::IsTrailByte(static_cast<unsigned char>(text[i + 1]));
    i += pair ? 2 : 1;
  }
  starts.push_back(text.size());
  return starts;
}

}  // namespace

std::string ShortenedInTheMiddle(std::string_view text, std::size_t most) {
  const std::size_t room = most > sizeof kEllipsis - 1 ? most - (sizeof kEllipsis - 1) : 0;
  if (text.size() <= most) return std::string(text);
  // A third of the room for the start (the drive and the first folders), the rest for the end
  // (the name).
  const std::vector<std::size_t> starts = CharacterStarts(text);
  std::size_t head = 0;
  for (std::size_t s : starts) {
    if (s <= room / 3) head = s;
  }
  std::size_t tail = text.size();
  for (auto it = starts.rbegin(); it != starts.rend() && text.size() - *it <= room - head; ++it) tail = *it;
  return std::string(text.substr(0, head)) + kEllipsis + std::string(text.substr(tail));
}

void LeftOutPaths::Add(std::string_view path) {
  ++m_count;
  if (m_shown.size() < kNamesShown) m_shown.push_back(ShortenedInTheMiddle(path, kLongestShown));
}

std::string LeftOutPaths::Notice() const {
  if (m_count == 0) return {};
  std::string text = FormatNumber(static_cast<std::int64_t>(m_count), true) +
                     "個のファイルまたはフォルダは、名前に Shift_JIS（コードページ 932）で書けない文字があるか、"
                     "パスが長すぎるか、読めないため、一覧に入れていません。\n\n";
  for (const std::string& path : m_shown) text += path + "\n";
  if (m_count > m_shown.size())
    text += "ほか" + FormatNumber(static_cast<std::int64_t>(m_count - m_shown.size()), true) + "個\n";
  // Such names are legal (é, 한, 😀, the wave dash 〜 of names made on a Mac): only this
  // program cannot hold them.
  text +=
      "\nこのプログラムは Shift_JIS で書ける名前だけを扱います。名前を変えるか、短いパスの場所に移すと"
      "一覧に入れられます。名前を変えられないファイルは zumibo-fit で計画できます。"
      "詳しくはヘルプをご覧ください。";
  return text;
}
