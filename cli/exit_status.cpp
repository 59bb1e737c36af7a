#include "cli/exit_status.h"

#include "cli/messages.h"
#include "cli/plan_output.h"
#include "cli/stopping.h"

const ExitStatusDoc kExitStatusDocs[6] = {
    {"0", "every file planned (and written); find: files found; verify: every file as it was written"},
    {"1",
     "nothing could be planned, or path lists or folders could not be written; a catalog could not be read or "
     "written; find: no file matches; verify: DIR is not a disc of the catalog's set"},
    {"2", "a usage error or an unreadable list"},
    {"3", "planned, but some files are on no disc (named under \"not on any disc\")"},
    {"4", "verify: a file of the disc is corrupt, missing or extra"},
    {"128+N", "stopped by signal N (130 for Ctrl-C); the best plan so far is printed, nothing written"},
};

ExitStatus Refuse(PlanRefusal refusal, std::int64_t capacity, const std::vector<LeftOut>& left) {
  PrintLeftOut(left);
  if (refusal == PlanRefusal::kNoFiles) {
    Complain("there is not a single file in the list");
  } else {
    Complain("every file in the list exceeds the capacity limit (" + Grouped(capacity) + " bytes" +
             (refusal == PlanRefusal::kPinnedOverCapacity ? ", less than the file system itself takes)" : ")"));
  }
  return ExitStatus::kFailed;
}

bool Interrupted() { return g_signal != 0; }

ExitStatus Finished(ExitStatus delivered, bool leftOut) {
  if (delivered != ExitStatus::kOk) return delivered;
  if (g_signal) return Signalled(g_signal);
  return leftOut ? ExitStatus::kLeftOut : ExitStatus::kOk;
}
