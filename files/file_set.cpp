#include "files/file_set.h"

#include <cstring>

int StandardOrderComparator::Compare(const FileEntry* a, const FileEntry* b) const {
  if (a->size > b->size) return -1;
  if (a->size < b->size) return 1;
  const int c = std::strcmp(a->path.c_str(), b->path.c_str());
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int PathEqualityComparator::Compare(const FileEntry* a, const FileEntry* b) const {
  return a->path == b->path ? 0 : 1;
}

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
  auto* node = new FileSetNode{false, std::move(entry), nullptr, nullptr};
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
  if (node->previous) node->previous->next = node->next; else m_head = node->next;
  if (node->next) node->next->previous = node->previous; else m_tail = node->previous;
  node->next = node->previous = nullptr;
}

// Links a detached node in front of `before`, or at the tail when `before` is null.
void FileSet::InsertBefore(FileSetNode* node, FileSetNode* before) {
  node->next = before;
  node->previous = before ? before->previous : m_tail;
  if (node->previous) node->previous->next = node; else m_head = node;
  if (before) before->previous = node; else m_tail = node;
}

void FileSet::Exchange(FileSetNode* a, FileSetNode* b) {
  if (a == b) return;
  if (b->next == a) std::swap(a, b);
  if (a->next == b) {
    Unlink(b);
    InsertBefore(b, a);
    return;
  }
  FileSetNode* afterA = a->next;
  FileSetNode* afterB = b->next;
  Unlink(a);
  Unlink(b);
  InsertBefore(a, afterB);
  InsertBefore(b, afterA);
}

// Quicksort without recursion or stack: a node's placed mark says it has reached its final
// place, so the unplaced runs between placed nodes are the segments still to be sorted.
// Left runs are sorted before right runs.
void FileSet::Sort(const FileComparator& comparator) {
  if (m_count < 2) return;
  for (FileSetNode* n = m_head; n; n = n->next) n->placed = false;
  auto before = [&](FileSetNode* x, FileSetNode* y) { return comparator.Compare(&x->entry, &y->entry) < 0; };

  FileSetNode* s = m_head;
  for (;;) {
    FileSetNode* last = s;
    int k = 0;
    while (last->next && !last->next->placed) {
      last = last->next;
      ++k;
    }
    FileSetNode* middle = s;
    for (int i = 0; i < k / 2; ++i) middle = middle->next;

    // Median of three.
    const int a = int(before(s, last)) + int(before(middle, last));
    const int b = int(before(s, middle)) + int(before(last, middle));
    FileSetNode* pivot = a == 1 ? last : (b == 1 ? middle : s);
    if (pivot != s) Exchange(s, pivot);

    // Partition: every node that sorts before the pivot moves to just in front of it.
    for (FileSetNode* x = pivot->next; x && !x->placed;) {
      FileSetNode* next = x->next;
      if (before(x, pivot)) {
        m_cursor = x;
        Unlink(x);
        InsertBefore(x, pivot);
      }
      x = next;
    }
    pivot->placed = true;

    if (pivot->previous && !pivot->previous->placed) {
      s = pivot->previous;
      while (s->previous && !s->previous->placed) s = s->previous;
    } else {
      s = pivot->next;
      while (s && s->placed) s = s->next;
      if (!s) return;
    }
  }
}
