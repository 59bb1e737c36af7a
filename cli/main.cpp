// zumibo-fit: the exact-fit search from the command line, with the window's rules for collecting
// files, ordering them, planning and searching; with a disc preset, sizes count as the files
// will take on the disc, and --all spreads the files over as few discs as it can. The first words
// find, verify and catalog read and keep the catalog of a disc set.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "cli/all_discs.h"
#include "cli/collect.h"
#include "cli/deliver.h"
#include "cli/disc_set.h"
#include "cli/messages.h"
#include "cli/one_disc.h"
#include "cli/options.h"
#include "cli/set_commands.h"
#include "cli/stopping.h"

namespace {

// Standard output closed by the caller: a file the run opens would take its number and receive
// what is printed. The number is held by /dev/null instead, and the run ends as a write error.
bool g_stdoutClosed = false;

void HoldStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    if (fd == STDOUT_FILENO) g_stdoutClosed = true;
    const int null = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (null >= 0 && null != fd) close(null);
  }
}

// What was printed must have reached standard output: a full disk or a closed pipe end is a
// failure, as it is for ls and cat.
int Closed(int status) {
  const bool failed = std::fflush(stdout) != 0 || std::ferror(stdout);
  if (!failed && !g_stdoutClosed) return status;
  Complain(std::string("write error: ") + (g_stdoutClosed ? "standard output is closed" : std::strerror(errno)));
  return status == 0 || status == Code(ExitStatus::kLeftOut) ? Code(ExitStatus::kFailed) : status;
}

}  // namespace

int main(int argc, char** argv) {
  HoldStandardStreams();
  Options o;
  Job job;
  if (const std::optional<int> status = ParseCommandLine(argc, argv, o, job)) return Closed(*status);
  InstallSignalHandlers();
  if (!o.command.empty()) return Code(RunSetCommand(o));

  // The catalog and the folders written into are checked, and locked, before anything is collected.
  RunSet set;
  if (!set.Open(o, job)) return Code(ExitStatus::kFailed);
  job.carried = job.onDisc ? set.CarriedBytes(job.model) : 0;
  Delivery delivery(o, set);
  if (!delivery.Prepare()) return Code(ExitStatus::kFailed);
  Collection files;
  if (!Collect(o, job, set, files)) return Code(g_signal ? Signalled(g_signal) : ExitStatus::kUsage);
  if (files.Count() == 0 && set.Held() > 0 && files.leftOut.empty()) {
    Complain("nothing new to plan: every file is on a disc of " + set.Discs().Path());
    return Closed(Code(ExitStatus::kOk));
  }
  const int number = set.Active() ? set.FirstNumber() : 0;
  return Closed(Code(o.all ? RunAll(files, job, o, delivery, number) : RunOne(files, job, o, delivery, number)));
}
