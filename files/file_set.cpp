#include "files/file_set.h"

#include <cstring>
#include <utility>

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

// A merge sort of the linked list, bottom up: runs of 1, 2, 4, ... nodes are merged pairwise
// through the next links, and the previous links are set again in one pass at the end. It
// relinks nodes without moving or allocating anything, needs O(n log n) comparisons for every
// input, and is stable: a node overtakes another only when the comparator puts it strictly first.
void FileSet::Sort(const FileComparator& comparator) {
  if (m_count < 2) return;
  FileSetNode* list = m_head;
  for (std::size_t width = 1;; width *= 2) {
    FileSetNode* left = list;
    FileSetNode* tail = nullptr;
    list = nullptr;
    std::size_t merges = 0;
    while (left) {
      ++merges;
      FileSetNode* right = left;
      std::size_t leftSize = 0;
      while (leftSize < width && right) {
        ++leftSize;
        right = right->next;
      }
      std::size_t rightSize = width;
      while (leftSize > 0 || (rightSize > 0 && right)) {
        FileSetNode* take;
        if (leftSize > 0 && (rightSize == 0 || !right || comparator.Compare(&right->entry, &left->entry) >= 0)) {
          take = left;
          left = left->next;
          --leftSize;
        } else {
          take = right;
          right = right->next;
          --rightSize;
        }
        if (tail) tail->next = take;
        else list = take;
        tail = take;
      }
      left = right;
    }
    tail->next = nullptr;
    if (merges <= 1) break;
  }
  FileSetNode* previous = nullptr;
  for (FileSetNode* n = list; n; n = n->next) {
    n->previous = previous;
    previous = n;
  }
  m_head = list;
  m_tail = previous;
  m_cursor = m_head;
}
