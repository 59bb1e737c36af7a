#pragma once
// What the mastering tools need to hear about a plan: the command that masters a path list, and
// the files that only some file systems hold whole.

#include <string>
#include <vector>

#include "cli/collection.h"
#include "cli/items.h"
#include "cli/options.h"

/// Whether a disc holds a file of 4 GiB - 1 bytes or more, which genisoimage's ISO 9660 cannot.
bool HoldsLargeFile(const Disc& d, const Collection& c);
/// The command that masters path list `list` for the file system of the job: genisoimage, or
/// for an ISO disc with a large file xorriso at ISO level 3; with UDF and a large file,
/// genisoimage -allow-limited-size. Names are read as UTF-8 whatever the locale.
std::string MasteringCommand(const Job& job, bool largeFile, const std::string& list, const std::string& image);
/// Warns of discs with large files, naming what masters them.
void WarnLargeFiles(const std::vector<Disc>& discs, const Collection& c, const Job& job);
