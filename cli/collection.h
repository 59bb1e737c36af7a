#pragma once
// The files zumibo-fit collected, kept compactly so that lists of millions of lines fit in a few
// hundred megabytes: every path is text in one arena, each name of a file a small record
// pointing into it, each file a small record of its sizes and names.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "discs/disc_tally.h"
#include "discs/model.h"
#include "sets/sha256.h"

/// Text kept in a TextArena: where it starts and how long it is.
struct Text {
  std::uint64_t at = 0;
  std::uint32_t size = 0;
};

/// Text that stays where it was put: blocks that never move, so views of it stay valid.
class TextArena {
 public:
  Text Add(std::string_view text);
  std::string_view View(Text t) const { return {m_blocks[t.at >> kBlockBits].get() + (t.at & kOffsetMask), t.size}; }
  /// The last `size` bytes of `t`: text that ends the same way needs no room of its own.
  static Text Suffix(Text t, std::uint32_t size) { return {t.at + (t.size - size), size}; }

 private:
  static constexpr int kBlockBits = 22;  // 4 MiB blocks; a text is never longer than one
  static constexpr std::uint64_t kOffsetMask = (std::uint64_t{1} << kBlockBits) - 1;
  std::vector<std::unique_ptr<char[]>> m_blocks;
  std::uint64_t m_used = std::uint64_t{1} << kBlockBits;  // in the last block
};

/// One name of a file: where it is, and where it goes on the disc (relative, with '/').
struct FileName {
  Text source;
  Text onDisc;
  std::uint32_t file = 0;  ///< the file it names
};

/// The device and inode of a file, where names of one file must be told apart from copies.
struct Identity {
  std::uint64_t device = 0, inode = 0;
  bool Known() const { return device != 0 || inode != 0; }
  bool operator==(const Identity& o) const { return device == o.device && inode == o.inode; }
};

/// What the collection saw of a file: the file it was, and when it was last changed. A delivery
/// places only that file, unchanged; a catalog records it.
struct FileStat {
  Identity id;               ///< unknown for a listed file when nothing is written
  std::int64_t mtimeNs = 0;  ///< nanoseconds since 1970
};

/// A file with every name it has: several hard links, or paths along followed links, share
/// one copy of the data and each have their records.
struct Candidate {
  std::int64_t size = 0;  ///< its bytes
  FileStat stat;
  std::uint32_t firstName = 0;  ///< in Collection::names; a file's names stand together
  std::uint32_t nameCount = 0;
  std::uint32_t group = 0;  ///< the folder kept whole that it belongs to, or kNoGroup
  bool folder = false;      ///< an empty folder kept on the disc (--keep-empty-dirs), not a file
};
constexpr std::uint32_t kNoGroup = UINT32_MAX;

/// A file or folder the user asked for that no disc holds, and why.
struct LeftOut {
  std::string path;
  std::int64_t size = -1;  ///< -1 where it is not known (a folder that cannot be read)
  std::string why;
};

class Collection {
 public:
  /// Notes a name of a file. A source path given again replaces the earlier name (the size and
  /// stat just read win); with `oneFile`, names whose stat has the same identity (device and
  /// inode) are gathered as names of one candidate.
  void Add(std::string_view source, std::string_view onDisc, std::int64_t size, const FileStat& stat = {},
           bool oneFile = false);
  /// Notes an empty folder to be kept on the disc: a candidate of no bytes whose records are a
  /// folder's.
  void AddEmptyFolder(std::string_view source, std::string_view onDisc, const FileStat& stat);
  /// Puts the files in the standard order (larger first, equal sizes by path), each file's
  /// names together in path order. With `uniqueOnDisc` (paths that may come to the same place on
  /// the disc, as a list's "../a" and "a" do), makes every path on the disc unique: a second
  /// "a.jpg" in one folder becomes "a~2.jpg". Returns how many names were changed so.
  std::size_t Finish(bool uniqueOnDisc);

  std::size_t Count() const { return m_files.size(); }
  const Candidate& operator[](std::size_t i) const { return m_files[i]; }
  Candidate& operator[](std::size_t i) { return m_files[i]; }
  const std::vector<Candidate>& Files() const { return m_files; }

  std::string_view Source(const Candidate& c, std::uint32_t k = 0) const { return m_text.View(Name(c, k).source); }
  std::string_view OnDisc(const Candidate& c, std::uint32_t k = 0) const { return m_text.View(Name(c, k).onDisc); }
  const FileName& Name(const Candidate& c, std::uint32_t k) const { return m_names[c.firstName + k]; }
  struct NameMending {
    std::size_t renamed = 0;  ///< names numbered so that Joliet tells them apart
    std::size_t mended = 0;   ///< names with bytes that are not UTF-8 or characters past U+FFFF
  };
  /// Makes the names on the disc ones that genisoimage and xorriso master alike in any locale:
  /// bytes that are not UTF-8 and characters past U+FFFF (which genisoimage refuses) become '_';
  /// in each folder no two entries, files or folders, have one name or one Joliet name (UCS-2,
  /// '*', '/', ':', ';', '?' and '\' as '_', cut at 103 characters: genisoimage writes two alike
  /// without a word): the later one in byte order gets "~N" before its extension, the first N
  /// free, within the 103 characters.
  NameMending MendForMastering();
  /// Takes the marked files out, each into leftOut (under its first name) with `why`.
  void SetApart(const std::vector<bool>& apart, const std::string& why);
  /// Takes the marked files out of the plan without a word: discs of the set hold them already.
  void Drop(const std::vector<bool>& held);
  /// What each file takes on the disc by the model (with `onDisc`; else its bytes as they are),
  /// in `sizes`, once the names are final: the planner's view of the files. With `sums`, each
  /// name of a file also takes its line in the disc's SHA256SUMS.
  void Measure(const DiscModel& model, bool onDisc, bool sums = false);

  std::vector<LeftOut> leftOut;
  std::vector<std::string> groups;    ///< the folders kept whole, by Candidate::group
  PlanFiles sizes;                    ///< by Measure, file by file as the candidates stand
  std::vector<Sha256Digest> digests;  ///< where known (read for --by-content), file by file; else empty

 private:
  struct Slot {
    std::uint32_t hash = 0;
    std::uint32_t index = UINT32_MAX;  ///< a name for source paths, a candidate for identities
  };
  /// The files in the standard order, each file's names in path order.
  void SortInStandardOrder();
  /// A path on the disc met again numbered ("a~2.jpg"); how many were.
  std::size_t NumberPathsMetAgain();
  template <typename Same>
  static std::uint32_t& Find(std::vector<Slot>& table, std::size_t& used, std::uint32_t hash, Same same);

  TextArena m_text;
  std::vector<FileName> m_names;
  std::vector<Candidate> m_files;
  std::vector<Identity> m_identities;       ///< of the candidates that have one, while collecting
  std::vector<Slot> m_paths;                ///< open addressing over the source paths of m_names
  std::vector<Slot> m_byIdentity;           ///< the same over m_identities, for candidates
  std::vector<std::uint32_t> m_identityOf;  ///< the candidate of each of m_identities
  std::size_t m_pathsUsed = 0, m_identitiesUsed = 0;
};
