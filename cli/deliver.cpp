#include "cli/deliver.h"

#include <string>

#include "cli/burn_output.h"
#include "cli/output.h"

int Deliver(const std::vector<Disc>& discs, const Collection& c, const Job& job, const Options& o) {
  if (o.pathLists.empty() && o.linkInto.empty()) return 0;
  if (Interrupted()) {
    Complain("interrupted: no path list or folder written");
    return 0;
  }
  std::vector<std::vector<DiscFile>> files;
  for (const Disc& d : discs) {
    files.emplace_back();
    for (std::uint32_t i : d.files) {
      for (std::uint32_t k = 0; k < c[i].nameCount; ++k)
        files.back().push_back({std::string(c.Source(c[i], k)), std::string(c.OnDisc(c[i], k))});
    }
  }
  int status = 0;
  if (!o.pathLists.empty()) {
    if (!WritePathLists(o.pathLists, files, [](const std::string& what) { Complain(what); })) status = 1;
    else if (!o.quiet)
      Complain("path lists written: master disc N with " +
               MasteringCommand(job, o.pathLists + "/discN.list", "discN.iso"));
  }
  if (!o.linkInto.empty() && LinkInto(o.linkInto, files, o.copy, [](const std::string& what) { Complain(what); }) > 0)
    status = 1;
  return status;
}
