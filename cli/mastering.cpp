#include "cli/mastering.h"

#include "cli/messages.h"
#include "discs/model.h"

namespace {

// genisoimage refuses a file of 4 GiB - 1 bytes or more in ISO 9660 ("larger than 4GiB-1"); xorriso
// takes one of up to 4 GiB - 1 and, at ISO level 3, larger ones in several extents.
constexpr std::int64_t kLargeFile = (std::int64_t{4} << 30) - 1;

}  // namespace

bool HoldsLargeFile(const Disc& d, const Collection& c) {
  for (std::uint32_t i : d.files) {
    if (c[i].size >= kLargeFile) return true;
  }
  return false;
}

std::string MasteringCommand(const Job& job, bool largeFile, const std::string& list, const std::string& image) {
  const bool udf = job.model.fileSystem == DiscFileSystem::kIsoUdf;
  // -joliet-long: Joliet names of up to 103 characters, without which genisoimage refuses a
  // folder where two names share their first 64. -input-charset utf-8: the names as they are,
  // not as the locale would read their bytes.
  const std::string options = std::string("-D -J -joliet-long -R -input-charset utf-8") +
                              (udf ? " -udf" : "") + (udf && largeFile ? " -allow-limited-size" : "") +
                              (!udf && largeFile ? " -iso-level 3" : "") + " -graft-points -path-list ";
  if (!udf && largeFile) return "xorriso -as mkisofs " + options + list + " -o " + image;
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
         " 4 GiB - 1 bytes or more: its disc masters with genisoimage -udf -allow-limited-size (UDF holds the whole "
         "file, ISO 9660 only its first 4 GiB)");
  else
    Warn(Plural(large, "chosen file is", "chosen files are") +
         " 4 GiB - 1 bytes or more: its disc masters with xorriso -as mkisofs -iso-level 3 (genisoimage cannot hold "
         "such a file in ISO 9660; --fs udf plans for genisoimage -udf)");
}
