#pragma once
// The files whose total comes closest to the capacity of one disc without going over it.

#include "cli/collection.h"
#include "cli/deliver.h"
#include "cli/exit_status.h"
#include "cli/options.h"

/// Searches, prints the chosen files (text, JSON or NUL-separated paths) and delivers them.
/// Returns the exit status.
/// `number`, when not 0: the disc's number in its set.
ExitStatus RunOne(Collection& c, const Job& job, const Options& o, Delivery& delivery, int number = 0);
