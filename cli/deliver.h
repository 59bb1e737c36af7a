#pragma once
// Handing the chosen files over for writing, when asked for: path lists for the mastering tools
// and folders laid out as the discs will be.

#include <vector>

#include "cli/collect.h"
#include "cli/disc_tally.h"
#include "cli/options.h"

/// Path lists and linked folders, when asked for. Returns the exit status so far.
int Deliver(const std::vector<Disc>& discs, const std::vector<Candidate>& c, const Options& o);
