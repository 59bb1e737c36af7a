// zumibo-fit: the exact-fit search from the command line, with the window's rules for collecting
// files, ordering them, planning and searching; with a disc preset, sizes count as the files
// will take on the disc, and --all spreads the files over as few discs as it can. The first words
// find, verify and catalog read and keep the catalog of a disc set.

#include <optional>

#include "cli/all_discs.h"
#include "cli/collect.h"
#include "cli/one_disc.h"
#include "cli/options.h"
#include "cli/set_commands.h"
#include "cli/stopping.h"

int main(int argc, char** argv) {
  Options o;
  Job job;
  if (const std::optional<int> status = ParseCommandLine(argc, argv, o, job)) return *status;
  InstallSignalHandlers();
  if (!o.command.empty()) return Code(RunSetCommand(o));

  Collection files;
  if (!Collect(o, job, files)) return Code(g_signal ? Signalled(g_signal) : ExitStatus::kUsage);
  return Code(o.all ? RunAll(files, job, o) : RunOne(files, job, o));
}
