#include "files/drop_intake.h"

#include <algorithm>
#include <functional>
#include <utility>

namespace {

std::uint64_t HashOf(std::string_view path) { return std::hash<std::string_view>()(path); }

}  // namespace

DropIntake::DropIntake(FileSet& source, FileSet& result) : m_source(source), m_result(result) {
  for (source.ResetCursor(true); FileEntry* e = source.GetCurrent(); source.MoveNext()) {
    Slot slot;
    slot.hash = HashOf(e->path);
    slot.held = e;
    slot.used = true;
    Remember(slot);
  }
}

DropIntake::Slot& DropIntake::SlotOf(std::string_view path, std::uint64_t hash) {
  const std::size_t mask = m_slots.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    Slot& s = m_slots[i];
    if (!s.used || (s.hash == hash && PathOf(s) == path)) return s;
  }
}

void DropIntake::Remember(Slot slot) {
  if (2 * (m_used + 1) > m_slots.size()) {
    std::vector<Slot> old(std::max<std::size_t>(64, 2 * m_slots.size()));
    old.swap(m_slots);
    for (const Slot& s : old) {
      if (s.used) SlotOf(PathOf(s), s.hash) = s;
    }
  }
  SlotOf(PathOf(slot), slot.hash) = slot;
  ++m_used;
}

void DropIntake::Add(FileEntry entry) {
  const std::uint64_t hash = HashOf(entry.path);
  if (!m_slots.empty()) {
    Slot& s = SlotOf(entry.path, hash);
    if (s.used) {
      (s.held ? s.held->size : m_added[s.added].size) = entry.size;
      return;
    }
  }
  m_added.push_back(std::move(entry));
  Slot slot;
  slot.hash = hash;
  slot.added = static_cast<std::uint32_t>(m_added.size() - 1);
  slot.used = true;
  Remember(slot);
}

void DropIntake::Finish() {
  // The new entries in the standard order, sorted where they lie side by side in memory; the
  // source set then holds two runs in order (or a few, where an earlier entry took a new size),
  // which its sort merges in about one pass.
  const StandardOrderComparator standard;
  std::vector<std::pair<std::int64_t, std::uint32_t>> order;
  order.reserve(m_added.size());
  for (std::uint32_t i = 0; i < m_added.size(); ++i) order.emplace_back(m_added[i].size, i);
  std::sort(order.begin(), order.end(), [&](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first > b.first;
    return standard.Compare(&m_added[a.second], &m_added[b.second]) < 0;
  });
  for (const auto& [size, i] : order) m_source.Add(std::move(m_added[i]));
  m_added.clear();
  m_slots.clear();
  m_used = 0;
  m_source.Sort(standard);
  if (m_result.GetCount() > 0) m_source.RemovePaths(PathsOf(m_result));
}
