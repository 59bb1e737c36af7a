#pragma once
// --all: every file spread over as few discs as possible.

#include <vector>

#include "cli/collect.h"
#include "cli/options.h"

/// Plans the discs, prints them with the files larger than a disc apart (text or JSON), and
/// delivers them. Returns the exit status.
int RunAll(const std::vector<Candidate>& c, const Job& job, const Options& o);
