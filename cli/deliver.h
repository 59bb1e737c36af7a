#pragma once
// Handing the chosen files over for writing, when asked for: path lists for the mastering tools
// and folders laid out as the discs will be.

#include <vector>

#include "cli/collection.h"
#include "cli/disc_tally.h"
#include "cli/options.h"

/// Path lists and linked folders, when asked for, with every name of each file. Nothing is
/// written after a signal. Returns 1 when something could not be written, else 0.
int Deliver(const std::vector<Disc>& discs, const Collection& c, const Job& job, const Options& o);
