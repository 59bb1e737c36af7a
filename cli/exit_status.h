#pragma once
// How a run of zumibo-fit ends, as its exit status tells a script, and the words the help and the
// manual page give each status.

#include <cstdint>

#include <vector>

#include "cli/collection.h"
#include "search/disc_fit.h"

enum class ExitStatus : int {
  kOk = 0,           ///< every file planned (and written)
  kFailed = 1,       ///< nothing can be planned, or the lists or folders could not be written
  kUsage = 2,        ///< a usage error or an unreadable list
  kLeftOut = 3,      ///< planned, but some files are on no disc
  kDiffers = 4,      ///< verify: a file of the disc is corrupt, missing or extra
  kSignalBase = 128  ///< 128 + the signal that stopped the run
};

/// The status after `signal` stopped the run.
inline ExitStatus Signalled(int signal) { return static_cast<ExitStatus>(128 + signal); }
inline int Code(ExitStatus status) { return static_cast<int>(status); }

struct ExitStatusDoc {
  const char* status;  ///< "0", "128+N"
  const char* meaning;
};
/// Every status with its meaning, in order, for --help and the manual page.
extern const ExitStatusDoc kExitStatusDocs[6];

/// Tells why no disc can be planned, and names what the user asked for that no disc holds.
ExitStatus Refuse(PlanRefusal refusal, std::int64_t capacity, const std::vector<LeftOut>& left);
/// Whether a signal (not a time limit) stopped the search.
bool Interrupted();
/// The status of a run that printed its plan: the delivery's when it failed, else the signal's
/// when interrupted, kLeftOut when files are on no disc, kOk when all is well.
ExitStatus Finished(ExitStatus delivered, bool leftOut);
