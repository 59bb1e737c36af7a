#include "cli/options.h"

#include <cstdio>
#include <cstring>

#include "cli/exit_status.h"
#include "cli/messages.h"
#include "cli/option_table.h"
#include "cli/quantity_text.h"

namespace {

constexpr const char* kSearch = "Capacity and search";
constexpr const char* kInput = "What is collected";
constexpr const char* kCounting = "How files are counted";
constexpr const char* kOutput = "Output";
constexpr const char* kWriting = "Writing discs";
constexpr const char* kOther = "Other";

// Every option of zumibo-fit, in the order --help lists them.
const OptionDef kOptions[] = {
    {'c', "capacity", "SIZE",
     "a preset (cd700, dvd, bd25, ... below) or bytes: 4,700,372,992, 700M, 4.7GB (powers of 1,000), 650MiB, 4GiB "
     "(powers of 1,024)",
     "Commas only between groups of three digits. A plain number counts bytes as they are unless files are written",
     kSearch, ValueCompletion::kWords, "cd650 cd700 dvd dvd-dl dvd+dl bd25 bd50 bd100 bd128", false, false,
     &Options::capacityText},
    {'m', "max-files", "N", "at most N files in the result (0: no limit); with --all, at most N files a disc",
     "The Zumibo window keeps its greedy start from the largest files even when it holds more than N; zumibo-fit "
     "does not",
     kSearch, ValueCompletion::kNothing, nullptr, false, false, &Options::maxFilesText},
    {0, "all", nullptr, "spread every file over as few discs as possible",
     "Prints each disc, then \"N discs (minimum)\" or \"N discs (lower bound M)\"", kSearch, ValueCompletion::kNothing,
     nullptr, false, false, nullptr, &Options::all},
    {0, "whole", "DEPTH",
     "keep every folder DEPTH levels below a PATH on one disc (1: the folders in it, such as albums); for a list, "
     "DEPTH levels below the disc's root",
     "A folder larger than a disc is split and told", kSearch, ValueCompletion::kNothing, nullptr, false, false,
     &Options::wholeText},
    {0, "time-limit", "SECONDS",
     "stop each search after SECONDS and keep the best found so far (with --all: 2 unless given)", nullptr, kSearch,
     ValueCompletion::kNothing, nullptr, false, false, &Options::timeLimitText},

    {0, "list", "FILE", "candidates from \"SIZE<TAB>PATH\" lines of FILE ('-': standard input) instead of PATHs",
     "As find -printf '%s\\t%p\\n' writes them. A bad line is skipped with its number. When lists or folders are "
     "written, a listed path that is not a regular file is skipped with its line number and named under \"not on "
     "any disc\"",
     kInput, ValueCompletion::kFile, nullptr, false, false, &Options::listFile},
    {0, "list0", "FILE", "the same, each record ended by a NUL byte, for names with newlines", nullptr, kInput,
     ValueCompletion::kFile, nullptr, false, false, &Options::list0File},
    {0, "exclude", "PATTERN",
     "leave out what matches, as rsync does: '*.tmp' or '.git' at any depth, 'raw/*.nef' at the end of a path, "
     "'/photos/raw' from the disc's root, 'cache/' folders only, '**' across folders; repeatable",
     "A folder left out is not walked. Names beginning with '.' are taken as any other, as cp -r, rsync -a and tar "
     "take them: --exclude '.*' leaves them out",
     kInput, ValueCompletion::kNothing, nullptr, true, false, nullptr, nullptr, &Options::excludes},
    {0, "exclude-from", "FILE", "the same, one PATTERN a line of FILE ('#' and ';' begin comments); repeatable",
     nullptr, kInput, ValueCompletion::kFile, nullptr, true, false, nullptr, nullptr, &Options::excludeFrom},
    {'L', "follow-links", nullptr,
     "follow symbolic links inside folders as cp -rL does (by default they are skipped and counted)",
     "Every path is present; a file reached by several paths is counted once, under each name; a link back into a "
     "folder above it is not followed",
     kInput, ValueCompletion::kNothing, nullptr, false, false, nullptr, &Options::followLinks},
    // Names beginning with '.' are taken as any other; --hidden, which once took them, stays
    // readable for the scripts that give it.
    {0, "keep-empty-dirs", nullptr, "keep folders with nothing in them on the disc, as empty folders (fpart -z)",
     "Each takes its folder's records on its disc and is named in the output with a '/' at its end", kInput,
     ValueCompletion::kNothing, nullptr, false, false, nullptr, &Options::keepEmptyDirs},
    {0, "hidden", nullptr, "take names beginning with '.' (the default)", nullptr, kInput, ValueCompletion::kNothing,
     nullptr, false, true, nullptr, &Options::hidden},

    {0, "raw", nullptr,
     "count each file's bytes as they are, as the Zumibo window does (the default for a plain byte count when "
     "nothing is written)",
     nullptr, kCounting, ValueCompletion::kNothing, nullptr, false, false, nullptr, &Options::raw},
    {0, "on-disc", nullptr, "count files as on the disc also for a capacity given in bytes", nullptr, kCounting,
     ValueCompletion::kNothing, nullptr, false, false, nullptr, &Options::onDisc},
    {0, "fs", "iso|udf",
     "the file system the discs are mastered with: iso (ISO 9660 + Joliet + Rock Ridge, the default) or udf (the "
     "same with a UDF bridge, genisoimage -udf)",
     nullptr, kCounting, ValueCompletion::kWords, "iso udf", false, false, &Options::fileSystemText},
    {0, "block", "N", "round each file up to whole blocks of N bytes (default 2,048; 1: no rounding)", nullptr,
     kCounting, ValueCompletion::kNothing, nullptr, false, false, &Options::blockText},
    {0, "reserve", "SIZE", "set SIZE aside on each disc for the file system instead of the measured model", nullptr,
     kCounting, ValueCompletion::kNothing, nullptr, false, false, &Options::reserveText},

    {0, "json", nullptr, "print the result as one JSON object",
     "The discs with their files (each with its other names under \"also\", and \"path_bytes\" in base64 beside a "
     "path that is not UTF-8), the totals, \"accounting\", \"interrupted\" and \"not_on_any_disc\"",
     kOutput, ValueCompletion::kNothing, nullptr, false, false, nullptr, &Options::json},
    {'0', "null", nullptr, "print only the chosen paths, each followed by a NUL byte (for xargs -0)", nullptr, kOutput,
     ValueCompletion::kNothing, nullptr, false, false, nullptr, &Options::null},
    {'q', "quiet", nullptr, "no progress (progress is shown only on a terminal)", nullptr, kOutput,
     ValueCompletion::kNothing, nullptr, false, false, nullptr, &Options::quiet},

    {0, "path-lists", "DIR",
     "write DIR/disc1.list, ... of \"DISC-PATH=PATH\" graft points for genisoimage and xorriso (-graft-points "
     "-path-list)",
     "Sources are absolute, so that the mastering tool may run from any folder", kWriting, ValueCompletion::kFolder,
     nullptr, false, false, &Options::pathLists},
    {0, "link-into", "DIR",
     "make DIR/disc1/..., hard links to the chosen files, each under its path from the PATH it was collected "
     "from (photos/2020/a.jpg)",
     "Same-named files from different folders never collide", kWriting, ValueCompletion::kFolder, nullptr, false, false,
     &Options::linkInto},
    {0, "copy", nullptr, "with --link-into: copy the files instead (times, mode and owner kept)", nullptr, kWriting,
     ValueCompletion::kNothing, nullptr, false, false, nullptr, &Options::copy},
    {0, "replace", nullptr,
     "replace the lists or disc folders an earlier run wrote into the same DIR (only what it recorded there as its "
     "own)",
     "Without it such a DIR is refused", kWriting, ValueCompletion::kNothing, nullptr, false, false, nullptr,
     &Options::replace},
    {0, "catalog", "FILE",
     "a disc set's catalog: plan only what no disc of the set holds, number the discs after its last, give each "
     "disc SHA256SUMS and ZUMIBO-SET.TXT, and record the discs once written",
     "A file is held when a disc has it at the same absolute path with the same size and modification time. The "
     "catalog is made when there is none; without path lists or folders nothing is recorded. See the commands find, "
     "verify and catalog",
     kWriting, ValueCompletion::kFile, nullptr, false, false, &Options::catalog},
    {0, "by-content", nullptr,
     "with --catalog: a file whose SHA-256 some disc holds is held too, wherever it is now (a renamed photo is not "
     "written twice)",
     "Only the files the catalog does not hold by path are read for it", kWriting, ValueCompletion::kNothing, nullptr,
     false, false, nullptr, &Options::byContent},

    {'h', "help", nullptr, "print this help and exit", nullptr, kOther, ValueCompletion::kNothing, nullptr, false,
     false, nullptr, &Options::help},
    {0, "version", nullptr, "print the version and exit", nullptr, kOther, ValueCompletion::kNothing, nullptr, false,
     false, nullptr, &Options::version},
    {0, "first-fit-only", nullptr, "with --all: plan by first fit decreasing alone, for comparison", nullptr, kOther,
     ValueCompletion::kNothing, nullptr, false, true, nullptr, &Options::firstFitOnly},
    {0, "generate", "man|bash|zsh", "print the manual page or a completion script", nullptr, kOther,
     ValueCompletion::kWords, "man bash zsh", false, true, &Options::generate},
};

const CommandDef kTool{
    nullptr,
    {"-c SIZE [OPTION]... PATH...", "-c SIZE [OPTION]... --list FILE"},
    "choose the files that fill a disc, or spread files over as few discs as possible",
    "Collects the files under each PATH (folders recursively) and prints the combination whose total comes "
    "closest to the capacity without going over it; the search is exhaustive. With --all it spreads every file "
    "over as few discs as possible instead, and says whether the number of discs is a proven minimum.\n\n"
    "With a disc preset, or whenever path lists or folders are written, each file counts as it will on the disc "
    "(whole 2,048-byte sectors and the ISO 9660 + Joliet + Rock Ridge records of genisoimage and xorriso; with "
    "--fs udf a UDF bridge too), so that every disc masters and burns; --raw counts bytes as they are.\n\n"
    "Every file is accounted for: what is skipped is counted on standard error, and a file, folder or listed "
    "path that no disc can hold is named under \"not on any disc\" (exit status 3). Lists and folders are checked "
    "whole before anything is written and appear whole or not at all.",
    Span<const OptionDef>(kOptions, sizeof kOptions / sizeof kOptions[0]),
    &Options::paths,
    "files",
};

constexpr const char* kChanging = "Changing the catalog";

// The options of find, verify and catalog; --quiet and --help as the tool's own.
const OptionDef kCommandQuiet{'q',
                              "quiet",
                              nullptr,
                              "no progress (progress is shown only on a terminal)",
                              nullptr,
                              kOutput,
                              ValueCompletion::kNothing,
                              nullptr,
                              false,
                              false,
                              nullptr,
                              &Options::quiet};
const OptionDef kCommandHelp{'h',
                             "help",
                             nullptr,
                             "print this help and exit",
                             nullptr,
                             kOther,
                             ValueCompletion::kNothing,
                             nullptr,
                             false,
                             false,
                             nullptr,
                             &Options::help};

const OptionDef kFindOptions[] = {
    {0, "json", nullptr, "print the files found as one JSON object",
     "Each version with its \"disc\", \"date\", \"path\", \"on_disc\", \"size\", \"mtime_ns\" and \"sha256\" "
     "(and \"path_bytes\" in base64 beside a path that is not UTF-8)",
     kOutput, ValueCompletion::kNothing, nullptr, false, false, nullptr, &Options::json},
    kCommandHelp,
};

const OptionDef kVerifyOptions[] = {
    {0, "json", nullptr, "print the result as one JSON object",
     "The disc (\"disc\", \"date\", \"set\"), its \"files\" and \"bytes\", and \"corrupt\", \"missing\" and "
     "\"extra\", each file with its \"path\" (and for a corrupt one \"why\")",
     kOutput, ValueCompletion::kNothing, nullptr, false, false, nullptr, &Options::json},
    kCommandQuiet,
    kCommandHelp,
};

const OptionDef kCatalogOptions[] = {
    {0, "forget", "N",
     "remove disc N, one that was never burned, from the catalog: its files are planned again by the next run", nullptr,
     kChanging, ValueCompletion::kNothing, nullptr, false, false, &Options::forgetText},
    {0, "json", nullptr, "print the set as one JSON object",
     "Its \"discs\" (\"number\", \"date\", \"disc_id\", \"files\", \"bytes\"), and \"changed\" and \"gone\" (each "
     "with \"path\" and \"disc\")",
     kOutput, ValueCompletion::kNothing, nullptr, false, false, nullptr, &Options::json},
    kCommandQuiet,
    kCommandHelp,
};

template <typename T, std::size_t N>
Span<const T> Table(const T (&items)[N]) {
  return Span<const T>(items, N);
}

const CommandDef kCommands[] = {
    {"find",
     {"[OPTION]... CATALOG PATTERN..."},
     "name the disc or discs of a set that hold each file matching a PATTERN",
     "Prints, for every file of the catalog whose path matches a PATTERN, each disc that holds a version of it, "
     "one line a version: \"discN<TAB>DATE<TAB>PATH\", by path and then by disc, so that a file changed since it was "
     "first written shows every disc it is on.\n\n"
     "PATTERNs are read as --exclude reads them and matched against each file's absolute path where it was "
     "collected: 'img003.jpg' or '*.nef' at any depth, '2025/*.jpg' at the end of a path, '/home/me/photos/2025' "
     "from the root, 'raw/' the files below every folder named raw, '**' across folders. Quote them, so that the "
     "shell leaves them as they are. Exit status 1 when no file matches.",
     Table(kFindOptions),
     &Options::operands,
     "files"},
    {"verify",
     {"[OPTION]... CATALOG DIR"},
     "check a disc of a set, file by file, against the catalog",
     "DIR is the mounted disc or a disc folder. The disc is identified by its ZUMIBO-SET.TXT; every file the "
     "catalog lists on it is read once and its size and SHA-256 compared with the catalog's, and each file that is "
     "corrupt (another size, unreadable, another SHA-256), missing, or extra (on the disc, not in the catalog) is "
     "named, one line each: \"corrupt<TAB>PATH<TAB>WHAT\", \"missing<TAB>PATH\", \"extra<TAB>PATH\".\n\n"
     "Exit status 0 when every file is as it was written, 4 when any is not, 1 when DIR is not a disc of the "
     "catalog's set. With no zumibo-fit at hand, sha256sum -c SHA256SUMS in the disc's root checks the same files.",
     Table(kVerifyOptions),
     &Options::operands,
     "files"},
    {"catalog",
     {"[OPTION]... CATALOG"},
     "show a disc set: its discs, and the files changed or gone since they were written",
     "Prints each disc of the set with its number, date, files and bytes, then every file whose source has "
     "changed since it was written (\"changed<TAB>discN<TAB>PATH\": a run that collects it plans it again) or is "
     "gone from where it was (\"gone<TAB>discN<TAB>PATH\"), with the last disc that holds it.\n\n"
     "--forget N removes disc N from the catalog, for a disc that was never burned: its files are planned again "
     "by the next run, and the next disc takes its number when it was the last.",
     Table(kCatalogOptions),
     &Options::operands,
     "files"},
};

ToolDoc MakeDoc() {
  ToolDoc doc;
  doc.tool = &kTool;
  doc.commands = Table(kCommands);
  doc.version = ZUMIBO_VERSION;
  doc.examples = {
      {"zumibo-fit -c dvd ~/photos", "one DVD: the chosen files, their total, the total on the disc, what is left"},
      {"zumibo-fit -c cd700 --all --whole 1 ~/music", "as few CDs as possible, each album whole on one"},
      {"zumibo-fit -c bd25 --all --exclude '*.tmp' --path-lists lists ~/archive", ""},
      {"genisoimage -D -J -joliet-long -R -input-charset utf-8 -graft-points -path-list lists/disc1.list -o d1.iso",
       "master disc 1 with the command printed (or xorriso -as mkisofs with the same options)"},
      {"zumibo-fit -c dvd --all --link-into /srv/discs ~/photos ~/music",
       "/srv/discs/disc1/photos/..., hard links laid out as the discs"},
      {"find . -type f -printf '%s\\t%p\\0' | zumibo-fit -c bd50 --list0 -", "candidates from a list"},
      {"zumibo-fit find photos.db img003.jpg '/home/me/photos/2025/*'", "the discs that hold those files"},
      {"zumibo-fit verify photos.db /media/cdrom", "check the mounted disc against the catalog"},
      {"zumibo-fit catalog photos.db", "the set's discs, and the files changed or gone since they were written"},
  };
  for (const ExitStatusDoc& s : kExitStatusDocs) doc.exitStatuses.emplace_back(s.status, s.meaning);
  for (const DiscPreset& p : kDiscPresets) doc.presets.emplace_back(p.name, Grouped(p.sectors) + " sectors, " + p.what);
  return doc;
}

// The options' values, checked; false after telling what is wrong.
bool ReadJob(const Options& o, Job& job, std::string& why) {
  if (o.capacityText.empty())
    return why = "no capacity given: -c SIZE, a preset (cd700, dvd, bd25, ...) or bytes (700M, 4.7GB)", false;
  bool preset = false;
  if (!ParseCapacity(o.capacityText, job.capacity, preset, why)) return why.insert(0, "--capacity: "), false;
  // "-c 700" is most likely megabytes without their unit.
  if (!preset && job.capacity > 0 && job.capacity < 100'000 &&
      o.capacityText.find_first_not_of("0123456789,") == std::string::npos)
    Warn("a capacity of " + o.capacityText + " bytes: for megabytes give " + o.capacityText + "M");
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
  for (const std::string& file : o.excludeFrom) {
    if (!job.excludes.ReadFrom(file, why)) return why.insert(0, "--exclude-from: "), false;
  }
  if (o.json && o.null) return why = "--json and --null do not go together", false;
  if (o.all && o.null) return why = "--all and --null do not go together", false;
  if (o.paths.empty() && o.listFile.empty() && o.list0File.empty())
    return why = "give PATHs to collect, or --list FILE", false;
  if (!o.paths.empty() + !o.listFile.empty() + !o.list0File.empty() > 1)
    return why = "give PATHs, --list FILE or --list0 FILE: one of them", false;
  if (o.copy && o.linkInto.empty()) return why = "--copy goes with --link-into", false;
  if (o.byContent && o.catalog.empty()) return why = "--by-content goes with --catalog", false;
  if (o.replace && o.linkInto.empty() && o.pathLists.empty())
    return why = "--replace goes with --link-into or --path-lists", false;
  return true;
}

// --generate: the manual page and the completions, from the same definitions as --help.
int Generate(const ToolDoc& doc, const std::string& what) {
  std::string text;
  if (what == "man") text = ManualPage(doc, "December 2026");
  else if (what == "bash") text = BashCompletion(doc);
  else if (what == "zsh") text = ZshCompletion(doc);
  else return -1;
  std::fwrite(text.data(), 1, text.size(), stdout);
  return 0;
}

int UsageError(const std::string& why, const char* command = nullptr) {
  const std::string name = command ? std::string("zumibo-fit ") + command : "zumibo-fit";
  std::fprintf(stderr, "zumibo-fit: %s\nTry '%s --help' for more information.\n", why.c_str(), name.c_str());
  return Code(ExitStatus::kUsage);
}

// A command's words, checked; false after telling what is wrong.
bool ReadCommand(const Options& o, std::string& why) {
  const std::string& c = o.command;
  const std::size_t words = o.operands.size();
  if (words == 0) return why = "give the CATALOG", false;
  if (c == "find" && words < 2) return why = "give a PATTERN to look for after the CATALOG", false;
  if (c == "verify" && words != 2) return why = "give the CATALOG and the DIR of one disc", false;
  if (c == "catalog" && words != 1) return why = "give one CATALOG", false;
  if (c == "find") {
    for (std::size_t i = 1; i < words; ++i) {
      if (o.operands[i].empty() || o.operands[i] == "/") return why = "an empty PATTERN", false;
    }
  }
  std::int64_t n = 0;
  if (!o.forgetText.empty() && (!ParseCount(o.forgetText, 1'000'000'000, n, why) || n == 0))
    return why = "--forget: give the number of a disc (1, 2, ...)", false;
  return true;
}

}  // namespace

std::optional<int> ParseCommandLine(int argc, char** argv, Options& o, Job& job) {
  const ToolDoc doc = MakeDoc();
  // The first word may choose a command; a PATH of that name is given as ./find.
  const CommandDef* command = &kTool;
  for (const CommandDef& c : kCommands) {
    if (argc > 1 && std::strcmp(argv[1], c.name) == 0) command = &c;
  }
  const int skip = command == &kTool ? 1 : 2;
  std::string why;
  const bool read = ParseArguments(*command, argc - skip, argv + skip, o, why);
  // --help and --version win over whatever else is wrong, as they do in other tools.
  if (o.help) {
    const std::string help = HelpText(doc, *command);
    std::fwrite(help.data(), 1, help.size(), stdout);
    return 0;
  }
  if (o.version) {
    std::printf("zumibo-fit %s\n", ZUMIBO_VERSION);
    return 0;
  }
  if (!read) return UsageError(why, command->name);
  if (command != &kTool) {
    o.command = command->name;
    if (!ReadCommand(o, why)) return UsageError(why, command->name);
    return std::nullopt;
  }
  if (!o.generate.empty()) {
    const int status = Generate(doc, o.generate);
    return status == 0 ? status : UsageError("--generate: give man, bash or zsh");
  }
  if (!ReadJob(o, job, why)) return UsageError(why);
  return std::nullopt;
}
