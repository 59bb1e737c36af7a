#pragma once
// Path lists for the mastering tools: one "DISC-PATH=SOURCE" graft point a line, as genisoimage
// and xorriso read them with -graft-points -path-list.

#include <cstdint>
#include <string>
#include <vector>

/// A chosen file: where it is, and where it goes on the disc (relative, with '/'); and, where
/// known, the file it was when it was collected, which is the one placed.
struct DiscFile {
  std::string source;
  std::string onDisc;
  std::uint64_t device = 0, inode = 0;  ///< 0, 0: not known
  std::int64_t size = -1;
  bool folder = false;     ///< an empty folder, kept on the disc as one
  std::uint32_t file = 0;  ///< the collection's file it is a name of
};

/// The longest line xorriso reads whole from a path list (genisoimage reads up to 8,192 bytes).
constexpr std::size_t kLongestGraftLine = 4094;

/// The list line of a file: '=' and '\' escaped, the source made absolute so that the tool may run
/// from any folder. False for a file no line can hold so that genisoimage and xorriso read it
/// alike: a newline in either path, a disc path ending in '\' (genisoimage takes "\=" for an
/// escaped '='), a source ending in a carriage return (xorriso drops it), a line of more than
/// kLongestGraftLine bytes.
bool GraftLine(const DiscFile& file, std::string& line);

/// The source a list line names for `source`: the file a symbolic link leads to (a mastering tool
/// would store the link itself), else the source as it is. False with `why` when it cannot be read.
bool ListedSource(const std::string& source, std::string& listed, std::string& why);

/// The lines of one disc's list in `text`, each source as ListedSource gives it. Files no line can
/// hold are left out and added to `left`; false with `why` when a source cannot be read.
bool ListText(const std::vector<DiscFile>& files, std::string& text, std::vector<const DiscFile*>& left,
              std::string& why);
