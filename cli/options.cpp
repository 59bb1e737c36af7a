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
  const bool byHand = !o.blockText.empty() || !o.reserveText.empty() || !o.fileSystemText.empty();
  if (o.raw && (byHand || o.onDisc))
    return why = "--raw counts bytes as they are: it goes with neither --on-disc, --block, --reserve nor --fs", false;
  job.delivering = !o.pathLists.empty() || !o.linkInto.empty();
  // Lists and folders are mastered as they are written: they count as on the disc unless --raw
  // asks for bytes as they are.
  job.onDisc = !o.raw && (preset || o.onDisc || byHand || job.delivering);
  if (o.fileSystemText == "udf") job.model.fileSystem = DiscFileSystem::kIsoUdf;
  else if (!o.fileSystemText.empty() && o.fileSystemText != "iso")
    return why = "--fs: '" + o.fileSystemText + "' is not a file system: give iso or udf", false;
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
  if (!o.wholeText.empty()) {
    if (!ParseCount(o.wholeText, 1000, n, why)) return why.insert(0, "--whole: "), false;
    if (!o.maxFilesText.empty()) return why = "--whole keeps folders whole: it goes without --max-files", false;
    job.wholeDepth = static_cast<int>(n);
  }
  for (const std::string& pattern : o.excludes) {
    if (!job.excludes.Add(pattern)) return why = "--exclude: an empty pattern", false;
  }
  if (!o.excludeFrom.empty() && !job.excludes.ReadFrom(o.excludeFrom, why))
    return why.insert(0, "--exclude-from: "), false;
  if (o.paths.empty() && o.listFile.empty() && o.list0File.empty())
    return why = "give PATHs to collect, or --list FILE", false;
  if (!o.paths.empty() + !o.listFile.empty() + !o.list0File.empty() > 1)
    return why = "give PATHs, --list FILE or --list0 FILE: one of them", false;
  if (o.copy && o.linkInto.empty()) return why = "--copy goes with --link-into", false;
  if (o.replace && o.linkInto.empty() && o.pathLists.empty())
    return why = "--replace goes with --link-into or --path-lists", false;
  return true;
}

// The parser's complaints in the words of the rest of the program.
std::string UsageError(const CLI::ParseError& e) {
  const std::string what = e.what();
  const std::string name = what.substr(0, what.find_first_of(": "));
  if (dynamic_cast<const CLI::RequiredError*>(&e))
    return "no capacity given: -c SIZE, a preset (cd700, dvd, bd25, ...) or bytes (700M, 4.7GB)";
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&e)) {
    if (what.find("At Most") != std::string::npos) return name + " is given more than once: give it once";
    return name + " needs a value";
  }
  if (dynamic_cast<const CLI::ExcludesError*>(&e)) {
    const std::size_t at = what.find(" excludes ");
    return what.substr(0, at) + " and " + what.substr(at + 10) + " do not go together";
  }
  if (dynamic_cast<const CLI::ExtrasError*>(&e)) {
    const std::size_t colon = what.find(": ");
    return "'" + what.substr(colon == std::string::npos ? 0 : colon + 2) + "' is not an option of zumibo-fit";
  }
  return what;
}

}  // namespace

std::optional<int> ParseCommandLine(int argc, char** argv, Options& o, Job& job) {
  CLI::App app{
      "Collects the files under PATHs and prints the combination whose total comes closest to the capacity\n"
      "without going over it, or with --all spreads them over as few discs as possible. With a disc preset, or\n"
      "when path lists or folders are written, each file counts as it will on the disc (whole 2,048-byte\n"
      "sectors and the ISO 9660 + Joliet + Rock Ridge file system of genisoimage and xorriso, with --fs udf\n"
      "a UDF bridge too), so the result masters and burns; --raw counts bytes as they are, as the Zumibo\n"
      "window does.\n\n"
      "Examples:\n"
      "  zumibo-fit -c dvd ~/photos                      one DVD: chosen files, totals, remainder\n"
      "  zumibo-fit -c 4.7G --on-disc -m 300 --json ~/photos\n"
      "  zumibo-fit -c bd25 --all --link-into /srv/discs ~/archive   fewest discs, as folders of hard links\n"
      "  zumibo-fit -c cd700 --all --whole 1 --path-lists lists ~/music   albums kept whole; then:\n"
      "      genisoimage -D -J -joliet-long -R -graft-points -path-list lists/disc1.list -o disc1.iso\n"
      "  find . -type f -printf '%s\\t%p\\0' | zumibo-fit -c bd50 --list0 -\n\n"
      "Exit status: 0 every file planned; 1 nothing could be planned, or path lists or folders could not\n"
      "be written; 2 a usage error or an unreadable list; 3 planned, but some files are on no disc (listed\n"
      "under \"not on any disc\"); 130 (128 + the signal) stopped by Ctrl-C or another signal.",
      "zumibo-fit"};
  app.set_version_flag("--version", "zumibo-fit " ZUMIBO_VERSION);
  app.get_formatter()->column_width(34);
  app.add_option("-c,--capacity", o.capacityText,
                 "a preset: cd650 cd700 dvd dvd-dl bd25 bd50 bd100 bd128; or bytes: 4,700,372,992, 700M, 4.7GB, 25GB "
                 "(powers of 1,000), 650MiB, 4GiB (powers of 1,024)")
      ->type_name("SIZE")
      ->required();
  app.add_option("-m,--max-files", o.maxFilesText,
                 "at most N files in a combination searched (0: no limit, the default); as in the window, the greedy "
                 "start from the largest files is not cut to N. With --all: at most N files a disc")
      ->type_name("N");
  app.add_option("--list", o.listFile,
                 "candidates from \"SIZE<TAB>PATH\" lines of FILE ('-' for stdin) instead of PATHs")
      ->type_name("FILE");
  app.add_option("--list0", o.list0File,
                 "the same, each record ended by a NUL byte (find -printf '%s\\t%p\\0'), for names with newlines")
      ->type_name("FILE");
  auto* json = app.add_flag("--json", o.json, "print the result as one JSON object");
  auto* null =
      app.add_flag("-0,--null", o.null, "print only the chosen paths, each followed by a NUL byte (for xargs -0)");
  app.add_option("--time-limit", o.timeLimitText,
                 "stop each search after SECONDS and keep the best found so far (with --all, the search for fewer "
                 "discs: 2 seconds unless given)")
      ->type_name("SECONDS");
  auto* all = app.add_flag(
      "--all", o.all,
      "spread every file over as few discs as possible; what no disc holds is named under \"not on any disc\"");
  app.add_option("--whole", o.wholeText,
                 "keep every folder DEPTH levels below a PATH on one disc (1: the folders in it, such as albums); "
                 "for a list, DEPTH levels below the disc's root. A folder larger than a disc is split and told")
      ->type_name("DEPTH");
  app.add_flag("--raw", o.raw,
               "count each file's bytes as they are, as the window does (the default for a plain byte count when "
               "nothing is written)");
  app.add_flag("--on-disc", o.onDisc, "count files as on the disc also for a capacity given in bytes");
  app.add_option("--fs", o.fileSystemText,
                 "the file system the discs are mastered with: iso (ISO 9660 + Joliet + Rock Ridge, the default) or "
                 "udf (the same with a UDF bridge, genisoimage -udf)")
      ->type_name("iso|udf");
  app.add_option("--block", o.blockText,
                 "round each file up to whole blocks of N bytes (default 2,048; 1: no rounding)")
      ->type_name("N");
  app.add_option("--reserve", o.reserveText,
                 "set SIZE aside on each disc for the file system instead of the measured model (e.g. 4MiB)")
      ->type_name("SIZE");
  app.add_flag("-L,--follow-links", o.followLinks,
               "follow symbolic links inside folders as cp -rL does (by default they are skipped and counted, as du "
               "and find do)");
  app.add_flag("--hidden", o.hidden,
               "take files and folders whose names begin with '.' (skipped and counted by default)");
  app.add_option("--exclude", o.excludes,
                 "leave out files and folders matching PATTERN, as rsync does: 'NAME' at any depth ('*.tmp', '.git'), "
                 "'DIR/NAME' at the end of a path, '/TOP/DIR' from the disc's root, 'DIR/' folders only, '**' across "
                 "folders; repeatable")
      ->type_name("PATTERN")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  app.add_option("--exclude-from", o.excludeFrom, "the same, one PATTERN a line of FILE ('#' begins a comment)")
      ->type_name("FILE");
  app.add_option("--path-lists", o.pathLists,
                 "write DIR/disc1.list, ... of \"DISC-PATH=PATH\" graft points for genisoimage and xorriso "
                 "(-graft-points -path-list)")
      ->type_name("DIR");
  app.add_option("--link-into", o.linkInto,
                 "make DIR/disc1/..., of hard links to the chosen files, each under its path from the PATH it was "
                 "collected from (photos/2020/a.jpg), so same-named files never collide")
      ->type_name("DIR");
  app.add_flag("--copy", o.copy, "with --link-into: copy the files instead of linking them");
  app.add_flag("--replace", o.replace,
               "replace the lists or disc folders an earlier run wrote into the same DIR (only what it recorded there "
               "as its own); without it such a DIR is refused");
  app.add_flag("-q,--quiet", o.quiet, "no progress output");
  app.add_option("PATH", o.paths, "files and folders to collect (folders recursively)")->type_name("");
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
    std::fprintf(stderr, "zumibo-fit: %s\nTry 'zumibo-fit --help' for more information.\n", UsageError(e).c_str());
    return 2;
  }
  return std::nullopt;
}
