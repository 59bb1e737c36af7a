#pragma once
// What zumibo-fit leaves for the writing software: per-disc path lists with graft points, and
// folders of links (or copies) laid out as the discs will be.

#include <string>
#include <vector>

/// A chosen file: where it is, and where it goes on the disc (relative, with '/').
struct DiscFile {
  std::string source;
  std::string onDisc;
};

/// One "DISC-PATH=SOURCE" line for genisoimage and xorriso (-graft-points -path-list), with
/// '=' and '\' escaped; false for a path no such line can hold (a newline in it).
bool GraftLine(const DiscFile& file, std::string& line);

/// Writes the lines of each disc to FOLDER/discN.list (N from 1). Returns false after telling
/// `complaint` what went wrong; files no line can hold are told too, and left out.
bool WritePathLists(const std::string& folder, const std::vector<std::vector<DiscFile>>& discs,
                    void (*complaint)(const std::string& what));

/// Makes FOLDER/discN/DISC-PATH for every file: a hard link, or with `copy` a copy. Nothing that
/// exists is replaced. Returns the number of files that could not be placed, each told to `complaint`.
int LinkInto(const std::string& folder, const std::vector<std::vector<DiscFile>>& discs, bool copy,
             void (*complaint)(const std::string& what));
