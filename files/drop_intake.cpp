#include "files/drop_intake.h"

#include <algorithm>
#include <functional>
#include <utility>

namespace {

std::uint64_t HashOf(std::string_view path) { return std::hash<std::string_view>()(path); }

}  // namespace

DropIntake::DropIntake(FileSet& source, FileSet& result) : m_source(source), m_result(result) {
  for (source.ResetCursor(true); FileEntry* e = source.GetCurrent(); source.MoveNext()) Remember({HashOf(e->path), e});
}

DropIntake::Slot& DropIntake::SlotOf(std::string_view path, std::uint64_t hash) {
  const std::size_t mask = m_slots.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    Slot& s = m_slots[i];
    if (!s.entry || (s.hash == hash && s.entry->path == path)) return s;
  }
}

void DropIntake::Remember(const Slot& slot) {
  if (2 * (m_used + 1) > m_slots.size()) {
    // Every path is known to be there once: the larger table is filled by hash alone.
    std::vector<Slot> old(std::max<std::size_t>(64, 2 * m_slots.size()));
    old.swap(m_slots);
    const std::size_t mask = m_slots.size() - 1;
    for (const Slot& s : old) {
      if (!s.entry) continue;
      std::size_t i = s.hash & mask;
      while (m_slots[i].entry) i = (i + 1) & mask;
      m_slots[i] = s;
    }
  }
  SlotOf(slot.entry->path, slot.hash) = slot;
  ++m_used;
}

void DropIntake::Add(FileEntry entry) {
  const std::uint64_t hash = HashOf(entry.path);
  if (!m_slots.empty()) {
    if (FileEntry* known = SlotOf(entry.path, hash).entry) {
      known->size = entry.size;
      return;
    }
  }
  if (m_addedCount % kChunk == 0) m_added.push_back(std::make_unique<FileEntry[]>(kChunk));
  FileEntry& stored = Added(m_addedCount++);
  stored = std::move(entry);
  Remember({hash, &stored});
}

void DropIntake::Finish() {
  // The new entries in the standard order, sorted by size beside their numbers; the source set
  // then holds two runs in order (or a few, where an earlier entry took a new size), which its
  // sort merges in about one pass.
  const StandardOrderComparator standard;
  std::vector<std::pair<std::int64_t, std::uint32_t>> order;
  order.reserve(m_addedCount);
  for (std::size_t i = 0; i < m_addedCount; ++i) order.emplace_back(Added(i).size, static_cast<std::uint32_t>(i));
  std::sort(order.begin(), order.end(), [&](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first > b.first;
    return standard.Compare(&Added(a.second), &Added(b.second)) < 0;
  });
  for (const auto& [size, i] : order) m_source.Add(std::move(Added(i)));
  m_added.clear();
  m_addedCount = 0;
  m_slots.clear();
  m_used = 0;
  m_source.Sort(standard);
  if (m_result.GetCount() > 0) m_source.RemovePaths(PathsOf(m_result));
}
