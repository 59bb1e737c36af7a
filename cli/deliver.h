#pragma once
// Handing the chosen files over for writing, when asked for: path lists for the mastering tools
// and folders laid out as the discs will be. A delivery is checked whole before anything is
// written and appears whole or not at all.

#include <vector>

#include "cli/collection.h"
#include "cli/disc_tally.h"
#include "cli/exit_status.h"
#include "cli/options.h"

/// Path lists and linked folders, when asked for, with every name of each file; nothing after a
/// signal stopped the search. Returns the exit status so far: 1 when nothing was delivered or a
/// file was left out of a list, 128 + the signal that stopped the delivery.
ExitStatus Deliver(const std::vector<Disc>& discs, const Collection& c, const Job& job, const Options& o);
