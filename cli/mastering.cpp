#include "cli/mastering.h"

#include "cli/messages.h"
#include "discs/model.h"

namespace {

constexpr std::int64_t kLargeFile = std::int64_t{4} << 30;

}  // namespace

std::string MasteringCommand(const Job& job, const std::string& list, const std::string& image) {
  const bool udf = job.model.fileSystem == DiscFileSystem::kIsoUdf;
  // -joliet-long: Joliet names of up to 103 characters, without which genisoimage refuses a
  // folder where two names share their first 64.
  const std::string options =
      std::string("-D -J -joliet-long -R") + (udf ? " -udf" : "") + " -graft-points -path-list ";
  return "genisoimage " + options + list + " -o " + image +
         (udf ? "" : " (or xorriso -as mkisofs with the same options)");
}

void WarnLargeFiles(const std::vector<Disc>& discs, const Collection& c, const Job& job) {
  std::size_t large = 0;
  for (const Disc& d : discs) {
    for (std::uint32_t i : d.files) large += c[i].size >= kLargeFile;
  }
  if (!job.onDisc || !large) return;
  if (job.model.fileSystem == DiscFileSystem::kIsoUdf)
    Warn(Plural(large, "chosen file is", "chosen files are") +
         " 4 GiB or more: master with genisoimage -udf -allow-limited-size (UDF holds the whole file, ISO 9660 "
         "only its first 4 GiB)");
  else
    Warn(Plural(large, "chosen file is", "chosen files are") +
         " 4 GiB or more: ISO 9660 holds such a file only at level 3 (xorriso -as mkisofs -iso-level 3); "
         "genisoimage needs UDF for it (plan with --fs udf, master with -udf -allow-limited-size)");
}
