#include "files/drop_intake.h"

DropIntake::DropIntake(FileSet& source, FileSet& result) : m_source(source), m_result(result) {
  m_byPath.reserve(static_cast<std::size_t>(source.GetCount()) * 2);
  for (source.ResetCursor(true); FileEntry* e = source.GetCurrent(); source.MoveNext()) m_byPath.emplace(e->path, e);
}

void DropIntake::Add(FileEntry entry) {
  const auto found = m_byPath.find(entry.path);
  if (found != m_byPath.end()) {
    found->second->size = entry.size;
    return;
  }
  FileEntry* stored = m_source.Add(std::move(entry));
  m_byPath.emplace(stored->path, stored);
}

void DropIntake::Finish() {
  m_source.Sort(StandardOrderComparator());
  if (m_result.GetCount() > 0) m_source.RemovePaths(PathsOf(m_result));
}
