#pragma once
// Collecting the candidates: the files under PATHs or those of a list, each name with the path
// it takes on the disc, each file with the bytes it takes there, in the standard order (larger
// first, equal sizes by path). What the user asked for and no disc can hold is kept apart with
// its reason, to be told.

#include "cli/collection.h"
#include "cli/disc_set.h"
#include "cli/options.h"

/// False when a signal cut the collection short or the list cannot be read; the reason is told
/// already.
/// With an active `set`, the files its discs hold are taken out, and each file's line in a disc's
/// SHA256SUMS counts with it.
bool Collect(const Options& o, const Job& job, RunSet& set, Collection& files);
