#include "cli/collection.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>

#include "files/standard_order.h"
#include "sets/disc_texts.h"

namespace {

std::uint32_t HashText(std::string_view text) {
  std::uint64_t h = 14695981039346656037ull;  // FNV-1a
  for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
  return static_cast<std::uint32_t>(h ^ (h >> 32));
}

std::uint32_t HashIdentity(const Identity& id) {
  const std::uint64_t h = (id.device * 0x9E3779B97F4A7C15ull) ^ (id.inode * 0xC2B2AE3D27D4EB4Full);
  return static_cast<std::uint32_t>(h ^ (h >> 29));
}

// "a.jpg" as the n-th of its name: "a~2.jpg"; a name without an extension gets "~2" at its end.
std::string Numbered(std::string_view path, int n) {
  const std::size_t slash = path.rfind('/');
  const std::size_t name = slash == std::string_view::npos ? 0 : slash + 1;
  std::size_t dot = path.rfind('.');
  if (dot == std::string_view::npos || dot <= name) dot = path.size();
  return std::string(path.substr(0, dot)) + "~" + std::to_string(n) + std::string(path.substr(dot));
}

}  // namespace

Text TextArena::Add(std::string_view text) {
  const std::uint64_t block = std::uint64_t{1} << kBlockBits;
  if (m_used + text.size() > block) {
    m_blocks.push_back(std::make_unique<char[]>(block));
    m_used = 0;
  }
  const Text t{(static_cast<std::uint64_t>(m_blocks.size() - 1) << kBlockBits) | m_used,
               static_cast<std::uint32_t>(text.size())};
  if (!text.empty()) std::memcpy(m_blocks.back().get() + m_used, text.data(), text.size());
  m_used += text.size();
  return t;
}

// Open addressing at most half full, over indices that only `same` can tell apart.
template <typename Same>
std::uint32_t& Collection::Find(std::vector<Slot>& table, std::size_t& used, std::uint32_t hash, Same same) {
  if ((used + 1) * 2 > table.size()) {
    std::vector<Slot> bigger(std::max<std::size_t>(1024, table.size() * 2));
    for (const Slot& s : table) {
      if (s.index == UINT32_MAX) continue;
      std::size_t at = s.hash & (bigger.size() - 1);
      while (bigger[at].index != UINT32_MAX) at = (at + 1) & (bigger.size() - 1);
      bigger[at] = s;
    }
    table.swap(bigger);
  }
  std::size_t at = hash & (table.size() - 1);
  for (;; at = (at + 1) & (table.size() - 1)) {
    Slot& s = table[at];
    if (s.index == UINT32_MAX) {
      s.hash = hash;
      ++used;  // the caller fills the index in
      return s.index;
    }
    if (s.hash == hash && same(s.index)) return s.index;
  }
}

void Collection::Add(std::string_view source, std::string_view onDisc, std::int64_t size, const FileStat& stat,
                     bool oneFile) {
  std::uint32_t& name = Find(m_paths, m_pathsUsed, HashText(source),
                             [&](std::uint32_t i) { return m_text.View(m_names[i].source) == source; });
  if (name != UINT32_MAX) {
    Candidate& again = m_files[m_names[name].file];  // the same path again: what was just read
    again.size = size;
    again.stat = stat;
    return;
  }
  name = static_cast<std::uint32_t>(m_names.size());
  std::uint32_t file = static_cast<std::uint32_t>(m_files.size());
  const Identity& identity = stat.id;
  if (oneFile && identity.Known()) {
    std::uint32_t& known = Find(m_byIdentity, m_identitiesUsed, HashIdentity(identity),
                                [&](std::uint32_t i) { return m_identities[i] == identity; });
    if (known == UINT32_MAX) {
      known = static_cast<std::uint32_t>(m_identities.size());
      m_identities.push_back(identity);
      m_identityOf.push_back(file);
    } else {
      file = m_identityOf[known];
    }
  }
  if (file == m_files.size()) {
    Candidate c;
    c.size = size;
    c.stat = stat;
    c.group = kNoGroup;
    m_files.push_back(c);
  }
  ++m_files[file].nameCount;
  FileName n;
  n.source = m_text.Add(source);
  const bool suffix = onDisc.size() <= source.size() && source.substr(source.size() - onDisc.size()) == onDisc;
  n.onDisc = suffix ? TextArena::Suffix(n.source, static_cast<std::uint32_t>(onDisc.size())) : m_text.Add(onDisc);
  n.file = file;
  m_names.push_back(n);
}

std::size_t Collection::Finish(bool uniqueOnDisc) {
  std::vector<Slot>().swap(m_paths);
  std::vector<Slot>().swap(m_byIdentity);
  std::vector<Identity>().swap(m_identities);
  std::vector<std::uint32_t>().swap(m_identityOf);
  m_pathsUsed = m_identitiesUsed = 0;
  SortInStandardOrder();
  return uniqueOnDisc ? NumberPathsMetAgain() : 0;
}

void Collection::SortInStandardOrder() {
  // A file sorts by its size and its first name in path order; only files with several names
  // need their names compared for that.
  const auto source = [&](std::uint32_t n) { return m_text.View(m_names[n].source); };
  std::vector<std::uint32_t> first(m_files.size(), UINT32_MAX);
  for (std::uint32_t n = 0; n < m_names.size(); ++n) {
    std::uint32_t& f = first[m_names[n].file];
    if (f == UINT32_MAX || (m_files[m_names[n].file].nameCount > 1 && source(n) < source(f))) f = n;
  }
  // Sizes beside the indices, so that most comparisons touch nothing else.
  std::vector<std::pair<std::int64_t, std::uint32_t>> order(m_files.size());
  for (std::uint32_t f = 0; f < m_files.size(); ++f) order[f] = {m_files[f].size, f};
  std::sort(order.begin(), order.end(), [&](const auto& a, const auto& b) {
    return BeforeInStandardOrder(a.first, source(first[a.second]), b.first, source(first[b.second]));
  });
  std::vector<std::uint32_t> rank(m_files.size());
  std::vector<Candidate> files(m_files.size());
  std::uint32_t at = 0;
  for (std::uint32_t r = 0; r < order.size(); ++r) {
    rank[order[r].second] = r;
    files[r] = m_files[order[r].second];
    files[r].firstName = at;
    at += files[r].nameCount;
  }
  // The names in the files' new order, each file's names in path order.
  std::vector<FileName> sorted(m_names.size());
  std::vector<std::uint32_t> next(files.size());
  for (std::uint32_t r = 0; r < files.size(); ++r) next[r] = files[r].firstName;
  for (const FileName& n : m_names) {
    FileName moved = n;
    moved.file = rank[n.file];
    sorted[next[moved.file]++] = moved;
  }
  for (const Candidate& c : files) {
    if (c.nameCount < 2) continue;
    std::sort(sorted.begin() + c.firstName, sorted.begin() + c.firstName + c.nameCount,
              [&](const FileName& a, const FileName& b) { return m_text.View(a.source) < m_text.View(b.source); });
  }
  m_files.swap(files);
  m_names.swap(sorted);
}

// Paths on the disc once each: two listed paths may come to the same one ("../a" and "a").
std::size_t Collection::NumberPathsMetAgain() {
  std::size_t renamed = 0;
  std::vector<Slot> taken;
  std::size_t used = 0;
  for (std::uint32_t k = 0; k < m_names.size(); ++k) {
    const std::string_view path = m_text.View(m_names[k].onDisc);
    const auto claim = [&](std::string_view wanted) -> std::uint32_t& {
      return Find(taken, used, HashText(wanted),
                  [&](std::uint32_t i) { return m_text.View(m_names[i].onDisc) == wanted; });
    };
    if (std::uint32_t& slot = claim(path); slot == UINT32_MAX) {
      slot = k;
      continue;
    }
    for (int n = 2;; ++n) {
      const std::string unique = Numbered(path, n);
      if (std::uint32_t& slot = claim(unique); slot == UINT32_MAX) {
        m_names[k].onDisc = m_text.Add(unique);
        slot = k;
        break;
      }
    }
    ++renamed;
  }
  return renamed;
}

void Collection::SetApart(const std::vector<bool>& apart, const std::string& why) {
  for (std::size_t i = 0; i < m_files.size(); ++i) {
    if (apart[i]) leftOut.push_back({std::string(Source(m_files[i])), m_files[i].size, why});
  }
  Drop(apart);
}

void Collection::Drop(const std::vector<bool>& held) {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < m_files.size(); ++i) {
    if (held[i]) continue;
    if (!digests.empty()) digests[kept] = digests[i];
    m_files[kept++] = m_files[i];
  }
  m_files.resize(kept);
  if (!digests.empty()) digests.resize(kept);
}

void Collection::AddEmptyFolder(std::string_view source, std::string_view onDisc, const FileStat& stat) {
  Add(source, onDisc, 0, stat);
  m_files.back().folder = true;
}

void Collection::Measure(const DiscModel& model, bool onDisc, bool sums) {
  sizes = PlanFiles();
  sizes.size.reserve(m_files.size());
  sizes.data.reserve(m_files.size());
  sizes.records.reserve(m_files.size());
  sizes.nameStart.reserve(m_files.size() + 1);
  for (const Candidate& c : m_files) {
    sizes.nameStart.push_back(static_cast<std::uint32_t>(sizes.folderOfName.size()));
    sizes.size.push_back(c.size);
    sizes.data.push_back(onDisc ? FileBytes(model, c.size) : c.size);
    std::int64_t records = 0;
    for (std::uint32_t k = 0; k < c.nameCount; ++k) {
      const std::string_view path = OnDisc(c, k);
      const std::size_t slash = path.rfind('/');
      if (onDisc) records += c.folder ? FolderRecordBytes(model, path) : FileRecordBytes(model, path, c.size);
      if (onDisc && sums && !c.folder) records += SumsSize({path});
      sizes.folderOfName.push_back(
          onDisc
              ? sizes.folders.Add(slash == std::string_view::npos ? std::string_view() : path.substr(0, slash), model)
              : FolderTree::kRoot);
    }
    sizes.records.push_back(records);
  }
  sizes.nameStart.push_back(static_cast<std::uint32_t>(sizes.folderOfName.size()));
}
