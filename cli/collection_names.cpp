// Collection: the names on the disc made ones that genisoimage and xorriso master alike.
#include <algorithm>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "cli/collection.h"
#include "cli/utf8.h"

namespace {

// Joliet keeps 103 UTF-16 characters of a name (with -joliet-long).
constexpr std::size_t kJolietName = 103;

// A name as genisoimage can take it in a UTF-8 locale: every byte that is not UTF-8, and every
// character past U+FFFF (which it cannot write in Joliet's UCS-2), becomes '_'.
std::string Mended(std::string_view name, bool& changed) {
  std::string out;
  out.reserve(name.size());
  for (std::size_t at = 0; at < name.size();) {
    const std::size_t length = Utf8Length(name, at);
    if (length == 0 || length == 4) {
      out += '_';
      changed = true;
      at += length ? length : 1;
      continue;
    }
    out.append(name.data() + at, length);
    at += length;
  }
  return out;
}

// The name Joliet writes: UCS-2, the characters it may not hold as '_', at most 103 of them.
std::u16string JolietName(std::string_view name) {
  std::u16string out;
  for (std::size_t at = 0; at < name.size() && out.size() < kJolietName;) {
    const std::size_t length = Utf8Length(name, at);
    std::uint32_t c = Utf8Decode(name, at, length);
    if (c < 0x20 || c == '*' || c == '/' || c == ':' || c == ';' || c == '?' || c == '\\') c = '_';
    out += static_cast<char16_t>(c);
    at += length;
  }
  return out;
}

// The bytes of the first `units` characters of a mended name.
std::size_t Prefix(std::string_view name, std::size_t units) {
  std::size_t at = 0;
  for (; at < name.size() && units > 0; --units) at += Utf8Length(name, at);
  return at;
}

// "a.jpg" as the n-th of its name: "a~2.jpg", within Joliet's 103 characters.
std::string Numbered(std::string_view name, int n) {
  const std::string mark = "~" + std::to_string(n);
  const std::size_t dot = name.rfind('.');
  const std::string_view extension =
      dot != std::string_view::npos && dot > 0 && name.size() - dot <= 10 ? name.substr(dot) : std::string_view();
  const std::string_view stem = name.substr(0, name.size() - extension.size());
  const std::size_t room = kJolietName - mark.size() - JolietName(extension).size();
  return std::string(stem.substr(0, Prefix(stem, room))) + mark + std::string(extension);
}

struct Entry {
  std::string name;     // mended
  std::string renamed;  // the name it gets: its own, or numbered
  bool folder;
};

struct U16Hash {
  std::size_t operator()(const std::u16string& s) const { return std::hash<std::u16string>()(s); }
};

// The entries of one folder, each given a name no other has, whose Joliet name no other's is:
// the first in byte order keeps its own, a later one is numbered with the first free "~N".
std::size_t TellApart(std::vector<Entry*>& entries) {
  std::sort(entries.begin(), entries.end(), [](const Entry* a, const Entry* b) {
    return a->name != b->name ? a->name < b->name : a->folder > b->folder;
  });
  std::unordered_set<std::string> names;
  for (const Entry* e : entries) names.insert(e->name);
  std::unordered_set<std::u16string, U16Hash> joliet;
  std::unordered_set<std::string> taken;
  std::size_t renamed = 0;
  for (Entry* e : entries) {
    e->renamed = e->name;
    if (taken.insert(e->name).second && joliet.insert(JolietName(e->name)).second) continue;
    taken.erase(e->name);
    for (int n = 2;; ++n) {
      std::string candidate = Numbered(e->name, n);
      if (names.count(candidate) || taken.count(candidate) || joliet.count(JolietName(candidate))) continue;
      taken.insert(candidate);
      joliet.insert(JolietName(candidate));
      e->renamed = std::move(candidate);
      ++renamed;
      break;
    }
  }
  return renamed;
}

}  // namespace

Collection::NameMending Collection::MendForMastering() {
  NameMending result;
  // The folders of the disc, each with its entries, from the paths of every name.
  std::unordered_map<std::string, std::size_t> folderIds{{"", 0}};
  std::vector<std::vector<Entry*>> contents(1);
  std::vector<std::unique_ptr<Entry>> entries;
  std::vector<Entry*> leafOf(m_names.size());
  std::vector<Entry*> folderEntry{nullptr};
  std::vector<std::size_t> parentOf{0};
  bool anyMended = false;
  const auto folderId = [&](const std::string& path, const auto& self) -> std::size_t {
    const auto known = folderIds.find(path);
    if (known != folderIds.end()) return known->second;
    const std::size_t slash = path.rfind('/');
    const std::size_t parent = self(slash == std::string::npos ? std::string() : path.substr(0, slash), self);
    const std::size_t id = contents.size();
    folderIds.emplace(path, id);
    contents.emplace_back();
    parentOf.push_back(parent);
    bool changed = false;
    entries.push_back(std::make_unique<Entry>(
        Entry{Mended(slash == std::string::npos ? path : path.substr(slash + 1), changed), "", true}));
    result.mended += changed;
    anyMended = anyMended || changed;
    contents[parent].push_back(entries.back().get());
    folderEntry.push_back(entries.back().get());
    return id;
  };
  std::vector<std::size_t> folderOfName(m_names.size());
  for (std::size_t k = 0; k < m_names.size(); ++k) {
    const std::string path(m_text.View(m_names[k].onDisc));
    const std::size_t slash = path.rfind('/');
    folderOfName[k] = folderId(slash == std::string::npos ? std::string() : path.substr(0, slash), folderId);
    bool changed = false;
    entries.push_back(
        std::make_unique<Entry>(Entry{Mended(slash == std::string::npos ? path : path.substr(slash + 1), changed), "", false}));
    result.mended += changed;
    anyMended = anyMended || changed;
    contents[folderOfName[k]].push_back(entries.back().get());
    leafOf[k] = entries.back().get();
  }
  for (std::vector<Entry*>& c : contents) result.renamed += TellApart(c);
  if (!anyMended && result.renamed == 0) return result;

  // The new paths, folders before what they hold (a folder is numbered after the one above it).
  std::vector<std::string> newPaths(contents.size());
  for (std::size_t f = 1; f < contents.size(); ++f) {
    const std::string& above = newPaths[parentOf[f]];
    newPaths[f] = (above.empty() ? "" : above + "/") + folderEntry[f]->renamed;
  }
  for (std::size_t k = 0; k < m_names.size(); ++k) {
    const std::string& folder = newPaths[folderOfName[k]];
    const std::string path = (folder.empty() ? "" : folder + "/") + leafOf[k]->renamed;
    if (path != m_text.View(m_names[k].onDisc)) m_names[k].onDisc = m_text.Add(path);
  }
  return result;
}
