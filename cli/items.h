#pragma once
// What zumibo-fit's searches place, from its collection: each file by itself, or a folder kept
// whole (--whole) with all its files; and the rules a job's plan is held against.

#include "cli/collection.h"
#include "cli/options.h"
#include "discs/disc_tally.h"

/// The capacity, accounting, model and file limit of the job.
DiscRules RulesOf(const Job& job);

/// The items of the collection, in the order of their first files. A folder kept whole that is
/// larger than a disc becomes its files, each by itself, and is told.
Items MakeItems(const Collection& c, const Job& job);
