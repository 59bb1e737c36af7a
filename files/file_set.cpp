#include "files/file_set.h"

#include <utility>

#include "files/standard_order.h"

int StandardOrderComparator::Compare(const FileEntry* a, const FileEntry* b) const {
  return CompareStandardOrder(a->size, a->path, b->size, b->path);
}

int PathEqualityComparator::Compare(const FileEntry* a, const FileEntry* b) const { return a->path == b->path ? 0 : 1; }

FileSet::~FileSet() { RemoveAll(); }

void FileSet::ResetCursor(bool atHead) { m_cursor = atHead ? m_head : m_tail; }

void FileSet::MoveNext() { m_cursor = m_cursor ? m_cursor->next : m_head; }

void FileSet::MovePrevious() { m_cursor = m_cursor ? m_cursor->previous : m_tail; }

FileEntry* FileSet::Find(const FileEntry& key, const FileComparator& comparator) {
  for (m_cursor = m_head; m_cursor; m_cursor = m_cursor->next) {
    if (comparator.Compare(&key, &m_cursor->entry) == 0) return &m_cursor->entry;
  }
  return nullptr;
}

FileEntry* FileSet::Add(const FileEntry& entry) { return Add(FileEntry(entry)); }

FileEntry* FileSet::Add(FileEntry&& entry) {
  auto* node = new FileSetNode{std::move(entry), nullptr, nullptr};
  InsertBefore(node, nullptr);
  ++m_count;
  m_cursor = node;
  return &node->entry;
}

bool FileSet::RemoveCurrent() {
  if (!m_cursor) return false;
  FileSetNode* node = m_cursor;
  Unlink(node);
  delete node;
  --m_count;
  m_cursor = nullptr;
  return true;
}

void FileSet::RemoveAll() {
  FileSetNode* node = m_head;
  while (node) {
    FileSetNode* next = node->next;
    delete node;
    node = next;
  }
  m_head = m_tail = m_cursor = nullptr;
  m_count = 0;
}

void FileSet::Swap(FileSet& other) noexcept {
  std::swap(m_head, other.m_head);
  std::swap(m_tail, other.m_tail);
  std::swap(m_cursor, other.m_cursor);
  std::swap(m_count, other.m_count);
}

std::vector<int> FileSet::RemovePaths(const std::unordered_set<std::string>& paths) {
  std::vector<int> removed;
  int position = 0;
  for (FileSetNode* node = m_head; node; ++position) {
    FileSetNode* next = node->next;
    if (paths.count(node->entry.path)) {
      Unlink(node);
      delete node;
      --m_count;
      removed.push_back(position);
    }
    node = next;
  }
  m_cursor = nullptr;
  return removed;
}

std::unordered_set<std::string> PathsOf(FileSet& set) {
  std::unordered_set<std::string> paths;
  for (set.ResetCursor(true); const FileEntry* e = set.GetCurrent(); set.MoveNext()) paths.insert(e->path);
  return paths;
}

void FileSet::Unlink(FileSetNode* node) {
  if (node->previous) node->previous->next = node->next;
  else m_head = node->next;
  if (node->next) node->next->previous = node->previous;
  else m_tail = node->previous;
  node->next = node->previous = nullptr;
}

// Links a detached node in front of `before`, or at the tail when `before` is null.
void FileSet::InsertBefore(FileSetNode* node, FileSetNode* before) {
  node->next = before;
  node->previous = before ? before->previous : m_tail;
  if (node->previous) node->previous->next = node;
  else m_head = node;
  if (before) before->previous = node;
  else m_tail = node;
}

namespace {

// Merges two sorted lists ended by null next links; on a tie the node of `earlier` comes first.
template <typename Before>
FileSetNode* Merge(FileSetNode* earlier, FileSetNode* later, Before before) {
  FileSetNode* head = nullptr;
  FileSetNode** link = &head;
  while (earlier && later) {
    FileSetNode*& take = before(later, earlier) ? later : earlier;
    *link = take;
    link = &take->next;
    take = take->next;
  }
  *link = earlier ? earlier : later;
  return head;
}

}  // namespace

// A natural merge sort of the linked list. The list is cut into runs already in order (a run in
// strictly the opposite order is turned round, which keeps the sort stable), and each run joins
// a binary counter of sorted lists: bin k holds 2^k runs' worth, and a run carries into the bins
// above as a number does. Merges therefore work on lists that were just touched, which keeps a
// long list's nodes in the cache. It relinks nodes without moving them and allocates nothing
// (the bins are on the stack), needs O(n log n) comparisons for every input and about n for a
// list already in order, and a node overtakes another only when the comparator puts it strictly
// first. The previous links are set again at the end.
void FileSet::Sort(const FileComparator& comparator) {
  if (m_count < 2) return;
  const auto before = [&](const FileSetNode* x, const FileSetNode* y) {
    return comparator.Compare(&x->entry, &y->entry) < 0;
  };
  FileSetNode* bins[64] = {};  // more than enough: bin k holds at least 2^k nodes
  for (FileSetNode* node = m_head; node;) {
    FileSetNode* run = node;
    node = node->next;
    if (node && before(node, run)) {
      run->next = nullptr;  // strictly falling: each node goes in front of the run
      while (node && before(node, run)) {
        FileSetNode* next = node->next;
        node->next = run;
        run = node;
        node = next;
      }
    } else {
      FileSetNode* last = run;
      while (node && !before(node, last)) {
        last = node;
        node = node->next;
      }
      last->next = nullptr;
    }
    // Higher bins hold earlier nodes, so they merge in as the earlier side.
    int k = 0;
    for (; bins[k]; ++k) {
      run = Merge(bins[k], run, before);
      bins[k] = nullptr;
    }
    bins[k] = run;
  }
  FileSetNode* sorted = nullptr;
  for (FileSetNode* bin : bins) {
    if (bin) sorted = Merge(bin, sorted, before);
  }
  FileSetNode* previous = nullptr;
  for (FileSetNode* n = sorted; n; n = n->next) {
    n->previous = previous;
    previous = n;
  }
  m_head = sorted;
  m_tail = previous;
  m_cursor = m_head;
}
