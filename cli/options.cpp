#include "cli/options.h"

#include <CLI/CLI.hpp>
#include <cstdio>

#include "cli/quantity_text.h"

namespace {

// The options' values, checked; false after telling what is wrong.
bool ReadJob(const Options& o, Job& job, std::string& why) {
  bool preset = false;
  if (!ParseCapacity(o.capacityText, job.capacity, preset, why)) return why.insert(0, "--capacity: "), false;
  std::int64_t n = 0;
  if (!o.maxFilesText.empty()) {
    if (!ParseCount(o.maxFilesText, kNoFileLimit - 1, n, why)) return why.insert(0, "--max-files: "), false;
    job.maxFiles = n == 0 ? kNoFileLimit : static_cast<int>(n);
  }
  if (!o.timeLimitText.empty() && !ParseSeconds(o.timeLimitText, job.timeLimit, why))
    return why.insert(0, "--time-limit: "), false;
  const bool byHand = !o.blockText.empty() || !o.reserveText.empty();
  if (o.raw && (byHand || o.onDisc))
    return why = "--raw counts bytes as they are: it goes with neither --on-disc, --block nor --reserve", false;
  job.onDisc = !o.raw && (preset || o.onDisc || byHand);
  if (!o.blockText.empty()) {
    if (!ParseCount(o.blockText, std::int64_t{1} << 30, n, why) || n == 0)
      return why.insert(0, "--block: "), why += n == 0 ? "'0' is no block size" : "", false;
    job.model.block = n;
  }
  if (!o.reserveText.empty()) {
    if (!ParseCapacity(o.reserveText, n, preset, why) || preset)
      return why = "--reserve: '" + o.reserveText + "' is not a byte count", false;
    job.model.records = false;
    job.model.reserve = n;
  }
  if (o.paths.empty() && o.listFile.empty() && o.list0File.empty())
    return why = "give PATHs to collect, or --list FILE", false;
  if (!o.paths.empty() + !o.listFile.empty() + !o.list0File.empty() > 1)
    return why = "give PATHs, --list FILE or --list0 FILE: one of them", false;
  if (o.copy && o.linkInto.empty()) return why = "--copy goes with --link-into", false;
  if (o.replace && o.linkInto.empty() && o.pathLists.empty())
    return why = "--replace goes with --link-into or --path-lists", false;
  return true;
}

}  // namespace

std::optional<int> ParseCommandLine(int argc, char** argv, Options& o, Job& job) {
  CLI::App app{
      "Collects the files under PATHs and prints the combination whose total comes closest to the capacity\n"
      "without going over it. With a disc preset each file counts as it will on the disc (whole 2,048-byte\n"
      "sectors and the ISO 9660 + Joliet + Rock Ridge file system of genisoimage -J -R and xorriso), so the\n"
      "result masters and burns; --raw counts bytes as they are, exactly as the Zumibo window does.\n\n"
      "Examples:\n"
      "  zumibo-fit -c dvd ~/photos                      one DVD: chosen files, totals, remainder\n"
      "  zumibo-fit -c 4.7G --on-disc -m 300 --json ~/photos\n"
      "  zumibo-fit -c bd25 --all --link-into /srv/discs ~/archive   fewest discs, as folders of hard links\n"
      "  zumibo-fit -c cd700 --all --path-lists lists ~/music        then: genisoimage -D -J -R -graft-points\n"
      "                                                  -path-list lists/disc1.list -o disc1.iso\n"
      "  find . -type f -printf '%s\\t%p\\0' | zumibo-fit -c bd50 --list0 -",
      "zumibo-fit"};
  app.set_version_flag("--version", "zumibo-fit " ZUMIBO_VERSION);
  app.add_option("-c,--capacity", o.capacityText,
                 "a preset: cd650 cd700 dvd dvd-dl bd25 bd50 bd100 bd128; or bytes: 4,700,372,992, 700M, 4.7GB, 25GB "
                 "(powers of 1,000), 650MiB, 4GiB (powers of 1,024)")
      ->required();
  app.add_option("-m,--max-files", o.maxFilesText,
                 "at most N files in a combination searched (0: no limit, the default); as in the window, the greedy "
                 "start from the largest files is not cut to N. With --all: at most N files a disc");
  app.add_option("--list", o.listFile,
                 "candidates from \"SIZE<TAB>PATH\" lines of FILE ('-' for stdin) instead of PATHs");
  app.add_option("--list0", o.list0File,
                 "the same, each record ended by a NUL byte (find -printf '%s\\t%p\\0'), for names with newlines");
  auto* json = app.add_flag("--json", o.json, "print the result as one JSON object");
  auto* null =
      app.add_flag("-0,--null", o.null, "print only the chosen paths, each followed by a NUL byte (for xargs -0)");
  app.add_option("--time-limit", o.timeLimitText,
                 "stop each search after SEC seconds and keep the best found so far (with --all, the search for fewer "
                 "discs: 2 seconds unless given)");
  auto* all = app.add_flag(
      "--all", o.all, "spread every file over as few discs as possible; files larger than a disc are listed apart");
  app.add_flag("--raw", o.raw,
               "count each file's bytes as they are, as the window does (the default for a plain byte count)");
  app.add_flag("--on-disc", o.onDisc, "count files as on an ISO 9660 disc also for a capacity given in bytes");
  app.add_option("--block", o.blockText,
                 "round each file up to whole blocks of N bytes (default 2,048; 1: no rounding)");
  app.add_option("--reserve", o.reserveText,
                 "set BYTES aside on each disc for the file system instead of the measured ISO 9660 model (e.g. 4MiB)");
  app.add_flag("-L,--follow-links", o.followLinks,
               "follow symbolic links inside folders (by default they are skipped, as du and find do)");
  app.add_option("--path-lists", o.pathLists,
                 "write DIR/disc1.list, ... of \"DISC-PATH=PATH\" graft points for genisoimage and xorriso "
                 "(-graft-points -path-list)");
  app.add_option("--link-into", o.linkInto,
                 "make DIR/disc1/..., of hard links to the chosen files, each under its path from the PATH it was "
                 "collected from (photos/2020/a.jpg), so same-named files never collide");
  app.add_flag("--copy", o.copy, "with --link-into: copy the files instead of linking them");
  app.add_flag("--replace", o.replace,
               "replace the lists or disc folders an earlier run wrote into the same DIR (only what it recorded there "
               "as its own); without it such a DIR is refused");
  app.add_flag("-q,--quiet", o.quiet, "no progress output");
  app.add_option("PATH", o.paths,
                 "files and folders to collect (folders recursively, names beginning with '.' skipped)");
  null->excludes(json);
  null->excludes(all);
  try {
    app.parse(argc, argv);
    std::string why;
    if (!ReadJob(o, job, why)) throw CLI::ValidationError(why);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "zumibo-fit: %s\nTry 'zumibo-fit --help' for more information.\n", e.what());
    return 2;
  }
  return std::nullopt;
}
