#include "files/drop_intake.h"

#include <algorithm>
#include <utility>

#include "files/standard_order.h"

DropIntake::DropIntake(FileSet& source, FileSet& result) : m_source(source), m_result(result) {
  m_known.reserve(static_cast<std::size_t>(source.GetCount()));
  for (source.ResetCursor(true); FileEntry* e = source.GetCurrent(); source.MoveNext()) m_known.emplace(e->path, e);
}

void DropIntake::Add(FileEntry entry) {
  if (const auto known = m_known.find(entry.path); known != m_known.end()) {
    known->second->size = entry.size;
    return;
  }
  if (m_addedCount % kChunk == 0) m_added.push_back(std::make_unique<FileEntry[]>(kChunk));
  FileEntry& stored = Added(m_addedCount++);
  stored = std::move(entry);
  m_known.emplace(stored.path, &stored);
}

void DropIntake::Finish() {
  m_known = {};  // its views go with the entries moved below
  // The new entries in the standard order, sorted by size beside their numbers; the source set
  // then holds two runs in order (or a few, where an earlier entry took a new size), which its
  // sort merges in about one pass.
  std::vector<std::pair<std::int64_t, std::uint32_t>> order;
  order.reserve(m_addedCount);
  for (std::size_t i = 0; i < m_addedCount; ++i) order.emplace_back(Added(i).size, static_cast<std::uint32_t>(i));
  std::sort(order.begin(), order.end(), [&](const auto& a, const auto& b) {
    return BeforeInStandardOrder(a.first, Added(a.second).path, b.first, Added(b.second).path);
  });
  for (const auto& [size, i] : order) m_source.Add(std::move(Added(i)));
  m_added.clear();
  m_addedCount = 0;
  m_source.Sort(StandardOrderComparator());
  if (m_result.GetCount() > 0) m_source.RemovePaths(PathsOf(m_result));
}
