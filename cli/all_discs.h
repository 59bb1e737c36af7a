#pragma once
// --all: every file spread over as few discs as possible.

#include "cli/collection.h"
#include "cli/deliver.h"
#include "cli/exit_status.h"
#include "cli/options.h"

/// Plans the discs, prints them with the files no disc holds apart (text or JSON), and delivers
/// them. Returns the exit status.
/// `firstNumber`, when not 0: the number of the first disc in its set.
ExitStatus RunAll(Collection& c, const Job& job, const Options& o, Delivery& delivery, int firstNumber = 0);
