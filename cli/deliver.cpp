#include "cli/deliver.h"

#include <string>

#include "cli/burn_output.h"
#include "cli/output.h"

int Deliver(const std::vector<Disc>& discs, const std::vector<Candidate>& c, const Options& o) {
  std::vector<std::vector<DiscFile>> files;
  for (const Disc& d : discs) {
    files.emplace_back();
    for (int i : d.files) files.back().push_back({c[i].entry->path, c[i].onDisc});
  }
  int status = 0;
  if (!o.pathLists.empty()) {
    if (!WritePathLists(o.pathLists, files, [](const std::string& what) { Complain(what); })) status = 1;
    else if (!o.quiet)
      Complain("path lists written: master disc N with genisoimage -D -J -R -graft-points -path-list " + o.pathLists +
               "/discN.list -o discN.iso (or xorriso -as mkisofs with the same options)");
  }
  if (!o.linkInto.empty() && LinkInto(o.linkInto, files, o.copy, [](const std::string& what) { Complain(what); }) > 0)
    status = 1;
  return status;
}
