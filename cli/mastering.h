#pragma once
// What the mastering tools need to hear about a plan: the command that masters a path list, and
// the files that only some file systems hold whole.

#include <string>
#include <vector>

#include "cli/collection.h"
#include "cli/disc_tally.h"
#include "cli/options.h"

/// The command that masters path list `list` for the file system of the job.
std::string MasteringCommand(const Job& job, const std::string& list, const std::string& image);
/// Warns of files of 4 GiB or more on a disc, which ISO 9660 holds only at level 3 or beside UDF.
void WarnLargeFiles(const std::vector<Disc>& discs, const Collection& c, const Job& job);
