#pragma once
// zumibo-fit find, verify and catalog: a disc set's catalog read, a disc checked against it, the
// set shown and a disc that was never burned forgotten.

#include "cli/exit_status.h"
#include "cli/options.h"

/// Runs the command named in o.command with its operands (the catalog first); returns its status.
ExitStatus RunSetCommand(const Options& o);
