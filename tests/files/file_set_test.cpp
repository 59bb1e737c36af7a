#include "files/file_set.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace {

FileEntry E(const std::string& path, std::int64_t size) { return MakeFileEntry(path, size); }

std::vector<std::string> Forward(FileSet& set) {
  std::vector<std::string> paths;
  for (set.ResetCursor(true); FileEntry* e = set.GetCurrent(); set.MoveNext()) paths.push_back(e->path);
  return paths;
}

// Walks from the tail and checks that the links agree with the forward walk and the count.
std::vector<std::string> CheckedOrder(FileSet& set) {
  std::vector<std::string> forward = Forward(set);
  std::vector<std::string> backward;
  for (set.ResetCursor(false); FileEntry* e = set.GetCurrent(); set.MovePrevious()) backward.push_back(e->path);
  std::reverse(backward.begin(), backward.end());
  EXPECT_EQ(forward, backward);
  EXPECT_EQ(static_cast<int>(forward.size()), set.GetCount());
  return forward;
}

class SizeOnlyComparator : public FileComparator {
 public:
  int Compare(const FileEntry* a, const FileEntry* b) const override {
    return a->size > b->size ? -1 : (a->size < b->size ? 1 : 0);
  }
};

}  // namespace

TEST(FileSet, CursorEdgeCases) {
  FileSet set;
  set.ResetCursor(true);
  EXPECT_EQ(set.GetCurrent(), nullptr);
  set.ResetCursor(false);
  EXPECT_EQ(set.GetCurrent(), nullptr);
  EXPECT_FALSE(set.RemoveCurrent());
  set.MoveNext();
  EXPECT_EQ(set.GetCurrent(), nullptr);

  FileEntry* a = set.Add(E("C:\\a", 1));
  EXPECT_EQ(set.GetCurrent(), a);  // Add leaves the cursor on the new entry
  set.Add(E("C:\\b", 2));
  FileEntry* c = set.Add(E("C:\\c", 3));
  set.ResetCursor(false);
  EXPECT_EQ(set.GetCurrent(), c);

  // Backwards from the tail visits every entry, then ends with no cursor.
  std::vector<std::string> seen;
  for (set.ResetCursor(false); set.GetCurrent(); set.MovePrevious()) seen.push_back(set.GetCurrent()->path);
  EXPECT_EQ(seen, (std::vector<std::string>{"C:\\c", "C:\\b", "C:\\a"}));
  EXPECT_EQ(set.GetCurrent(), nullptr);
  set.MovePrevious();  // from no cursor to the tail
  EXPECT_EQ(set.GetCurrent(), c);

  // After RemoveCurrent there is no cursor, and MoveNext restarts at the head.
  set.ResetCursor(true);
  set.MoveNext();
  ASSERT_TRUE(set.RemoveCurrent());
  EXPECT_EQ(set.GetCurrent(), nullptr);
  set.MoveNext();
  EXPECT_EQ(set.GetCurrent(), a);
  EXPECT_EQ(CheckedOrder(set), (std::vector<std::string>{"C:\\a", "C:\\c"}));
}

TEST(FileSet, RemovingHeadTailAndOnlyEntryKeepsLinksConsistent) {
  FileSet set;
  for (const char* p : {"C:\\1", "C:\\2", "C:\\3", "C:\\4"}) set.Add(E(p, 1));
  set.ResetCursor(true);
  set.RemoveCurrent();  // head
  set.ResetCursor(false);
  set.RemoveCurrent();  // tail
  EXPECT_EQ(CheckedOrder(set), (std::vector<std::string>{"C:\\2", "C:\\3"}));
  set.ResetCursor(true);
  set.RemoveCurrent();
  set.ResetCursor(true);
  set.RemoveCurrent();
  EXPECT_EQ(set.GetCount(), 0);
  set.ResetCursor(true);
  EXPECT_EQ(set.GetCurrent(), nullptr);
  set.ResetCursor(false);
  EXPECT_EQ(set.GetCurrent(), nullptr);

  FileEntry* only = set.Add(E("C:\\new", 5));
  set.ResetCursor(true);
  EXPECT_EQ(set.GetCurrent(), only);
  set.ResetCursor(false);
  EXPECT_EQ(set.GetCurrent(), only);
  EXPECT_EQ(CheckedOrder(set), (std::vector<std::string>{"C:\\new"}));

  set.RemoveAll();
  EXPECT_EQ(set.GetCount(), 0);
  EXPECT_EQ(set.GetCurrent(), nullptr);
}

TEST(FileSet, FindReturnsFirstMatchAndLeavesCursorOnIt) {
  FileSet set;
  set.Add(E("C:\\x", 1));
  FileEntry* first = set.Add(E("C:\\dup", 2));
  FileEntry* second = set.Add(E("C:\\dup", 3));
  const PathEqualityComparator eq;

  EXPECT_EQ(set.Find(E("C:\\dup", 0), eq), first);
  EXPECT_EQ(set.GetCurrent(), first);
  ASSERT_TRUE(set.RemoveCurrent());
  EXPECT_EQ(set.Find(E("C:\\dup", 0), eq), second);

  EXPECT_EQ(set.Find(E("C:\\missing", 0), eq), nullptr);
  EXPECT_EQ(set.GetCurrent(), nullptr);
  // Paths compare exactly: case and double-byte characters matter.
  EXPECT_EQ(set.Find(E("C:\\X", 0), eq), nullptr);
  EXPECT_EQ(eq.Compare(second, second), 0);
  const FileEntry so = E("C:\\ソ", 1), zo = E("C:\\ゾ", 1);
  EXPECT_EQ(eq.Compare(&so, &zo), 1);
}

TEST(FileSet, RemovePathsTellsThePositionsItRemoved) {
  FileSet set;
  for (const char* p : {"C:\\a", "C:\\b", "C:\\c", "C:\\d"}) set.Add(E(p, 1));
  EXPECT_EQ(set.RemovePaths({"C:\\a", "C:\\c", "C:\\missing"}), (std::vector<int>{0, 2}));
  EXPECT_EQ(CheckedOrder(set), (std::vector<std::string>{"C:\\b", "C:\\d"}));
  EXPECT_EQ(set.GetCurrent(), nullptr);
  EXPECT_EQ(PathsOf(set), (std::unordered_set<std::string>{"C:\\b", "C:\\d"}));
}

TEST(StandardOrder, LargerFirstThenPathAsUnsignedBytes) {
  const StandardOrderComparator cmp;
  const FileEntry big = E("C:\\z", 10), small = E("C:\\a", 9);
  EXPECT_EQ(cmp.Compare(&big, &small), -1);
  EXPECT_EQ(cmp.Compare(&small, &big), 1);
  const FileEntry a = E("C:\\a", 5), b = E("C:\\b", 5), kana = E("C:\\ソ", 5);
  EXPECT_EQ(cmp.Compare(&a, &b), -1);
  EXPECT_EQ(cmp.Compare(&b, &a), 1);
  EXPECT_EQ(cmp.Compare(&a, &a), 0);
  // 0x83 is larger than 'b' as an unsigned byte.
  EXPECT_EQ(cmp.Compare(&b, &kana), -1);
  // Sizes beyond 32 bits compare as 64-bit values.
  const FileEntry huge = E("C:\\h", 5'000'000'000), medium = E("C:\\m", 705'032'704);
  EXPECT_EQ(cmp.Compare(&huge, &medium), -1);
}

TEST(FileSetSort, WorkedExampleAndSimpleShapes) {
  const StandardOrderComparator cmp;
  {
    // Sizes 5, 9, 5, 1 where the two 5-byte files are C:\b and C:\a, in that order.
    FileSet example;
    example.Add(E("C:\\b", 5));
    example.Add(E("C:\\9", 9));
    example.Add(E("C:\\a", 5));
    example.Add(E("C:\\1", 1));
    example.Sort(cmp);
    EXPECT_EQ(CheckedOrder(example), (std::vector<std::string>{"C:\\9", "C:\\a", "C:\\b", "C:\\1"}));
  }
  {
    FileSet one;
    FileEntry* only = one.Add(E("C:\\only", 3));
    one.Sort(cmp);
    one.ResetCursor(true);
    EXPECT_EQ(one.GetCurrent(), only);
    FileSet empty;
    empty.Sort(cmp);
    EXPECT_EQ(empty.GetCount(), 0);
  }
  for (bool reversed : {false, true}) {
    FileSet set;
    std::vector<std::string> expected;
    std::vector<FileEntry*> pointers;
    for (int i = 0; i < 200; ++i) {
      const int size = reversed ? i : 200 - i;
      const std::string path = "C:\\f" + std::to_string(1000 + i);
      pointers.push_back(set.Add(E(path, size)));
      expected.push_back(path);
    }
    if (reversed) std::reverse(expected.begin(), expected.end());
    set.Sort(cmp);
    EXPECT_EQ(CheckedOrder(set), expected);
    // Sorting relinks nodes: entry pointers stay valid and keep their content.
    for (int i = 0; i < 200; ++i) EXPECT_EQ(pointers[i]->path, "C:\\f" + std::to_string(1000 + i));
  }
}

TEST(FileSetSort, AgreesWithStdSortOnRandomSets) {
  std::mt19937 rng(1234);
  const StandardOrderComparator cmp;
  for (int round = 0; round < 300; ++round) {
    const int n = std::uniform_int_distribution<int>(0, round < 200 ? 12 : 400)(rng);
    const int sizes = std::uniform_int_distribution<int>(1, 6)(rng);  // few sizes: many ties on size
    FileSet set;
    std::vector<FileEntry> entries;
    for (int i = 0; i < n; ++i) {
      // Some repeated paths with the same size, as a drop of a file twice gives.
      const int id = std::uniform_int_distribution<int>(0, n + 3)(rng);
      const FileEntry e = E("C:\\d\\" + std::to_string(id), id % sizes);
      set.Add(e);
      entries.push_back(e);
    }
    set.Sort(cmp);
    std::sort(entries.begin(), entries.end(),
              [&](const FileEntry& a, const FileEntry& b) { return cmp.Compare(&a, &b) < 0; });
    std::vector<std::string> expected;
    for (const FileEntry& e : entries) expected.push_back(e.path);
    ASSERT_EQ(CheckedOrder(set), expected) << "round " << round;
  }
}

TEST(FileSetSort, MovesEntriesOnlyOnNegativeComparisons) {
  // With a size-only comparator equal sizes compare 0; the result must still be ordered by size,
  // and a set of all-equal entries must keep its order.
  std::mt19937 rng(99);
  const SizeOnlyComparator bySize;
  FileSet set;
  for (int i = 0; i < 500; ++i) set.Add(E("C:\\" + std::to_string(i), std::uniform_int_distribution<int>(0, 9)(rng)));
  set.Sort(bySize);
  std::int64_t previous = INT64_MAX;
  for (set.ResetCursor(true); FileEntry* e = set.GetCurrent(); set.MoveNext()) {
    EXPECT_LE(e->size, previous);
    previous = e->size;
  }
  CheckedOrder(set);

  FileSet equal;
  std::vector<std::string> order;
  for (int i = 0; i < 50; ++i) {
    equal.Add(E("C:\\" + std::to_string(i), 7));
    order.push_back("C:\\" + std::to_string(i));
  }
  equal.Sort(bySize);
  EXPECT_EQ(CheckedOrder(equal), order);
}

TEST(FileSetSort, NoInputNeedsMoreThanNLogNComparisons) {
  // Sizes that rise and then fall (and the other shapes a list of files takes) are sorted with
  // at most about n log2 n comparisons (with room to spare); a quadratic sort needs tens of
  // millions here.
  class Counting : public StandardOrderComparator {
   public:
    int Compare(const FileEntry* a, const FileEntry* b) const override {
      ++calls;
      return StandardOrderComparator::Compare(a, b);
    }
    mutable long calls = 0;
  };
  const int n = 10000;
  const std::vector<std::function<int(int)>> shapes = {
      [&](int i) { return i < n / 2 ? i : n - i; },  // rising, then falling
      [&](int i) { return i < n / 2 ? n - i : i; },  // falling, then rising
      [](int i) { return i % 7; },                   // few sizes
      [](int i) { return (i * 7919) % 10007; },      // scattered
  };
  for (std::size_t shape = 0; shape < shapes.size(); ++shape) {
    FileSet set;
    std::vector<FileEntry> entries;
    for (int i = 0; i < n; ++i) entries.push_back(*set.Add(E("C:\\f" + std::to_string(i), shapes[shape](i))));
    Counting counting;
    set.Sort(counting);
    EXPECT_LE(counting.calls, 27L * n) << "shape " << shape;  // twice n log2 n: log2(10000) is about 13.3
    std::sort(entries.begin(), entries.end(),
              [&](const FileEntry& a, const FileEntry& b) { return counting.Compare(&a, &b) < 0; });
    std::vector<std::string> expected;
    for (const FileEntry& e : entries) expected.push_back(e.path);
    EXPECT_EQ(CheckedOrder(set), expected) << "shape " << shape;
  }
}
