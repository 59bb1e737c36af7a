#include "cli/set_commands.h"

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "cli/byte_progress.h"
#include "cli/exclude.h"
#include "cli/json_writer.h"
#include "cli/messages.h"
#include "cli/quantity_text.h"
#include "cli/stopping.h"
#include "sets/catalog.h"
#include "sets/verify.h"

namespace {

ExitStatus Stopped() { return Signalled(g_signal ? g_signal : SIGINT); }

// Whether a file's source matches a pattern as --exclude would leave it out: the file itself, or
// a folder above it. Paths come folder by folder, so each folder is matched once.
class SourceMatch {
 public:
  explicit SourceMatch(const Excludes& patterns) : m_patterns(patterns) {}
  bool operator()(std::string_view source) {
    const std::string_view path = source.substr(1);  // from the root, without its '/'
    const std::size_t slash = path.rfind('/');
    const std::string_view folder = slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
    if (!m_known || folder != m_folder) {
      m_known = true;
      m_folder = folder;
      m_folderMatches = false;
      // Each folder from the root down: "home", "home/me", ...
      for (std::size_t end = 0; !folder.empty() && !m_folderMatches && end < folder.size();) {
        end = folder.find('/', end + 1);
        if (end == std::string_view::npos) end = folder.size();
        m_folderMatches = m_patterns.Excluded(folder.substr(0, end), true);
      }
    }
    return m_folderMatches || m_patterns.Excluded(path, false);
  }

 private:
  const Excludes& m_patterns;
  bool m_known = false, m_folderMatches = false;
  std::string m_folder;
};

ExitStatus RunFind(const Options& o, Catalog& catalog) {
  Excludes patterns;
  for (std::size_t i = 1; i < o.operands.size(); ++i) patterns.Add(o.operands[i]);
  SourceMatch match(patterns);
  std::vector<CatalogFile> found;
  std::vector<DiscSummary> discs;
  std::string why;
  const auto mayMatchBelow = [&](std::string_view folder) {
    return patterns.MayMatchBelow(folder.empty() ? folder : folder.substr(1));
  };
  if (!catalog.Find(std::ref(match), o.json, found, why, mayMatchBelow) || !catalog.Discs(discs, why)) {
    Complain(why);
    return ExitStatus::kFailed;
  }
  std::map<int, std::string> dates;
  for (const DiscSummary& d : discs) dates[d.number] = d.date;
  if (o.json) {
    JsonWriter json(stdout);
    json.BeginObject();
    json.Key("catalog");
    json.String(catalog.Path());
    json.Key("files");
    json.BeginArray();
    for (const CatalogFile& f : found) {
      json.BeginObject();
      json.Key("date");
      json.String(dates[f.disc]);
      json.Key("disc");
      json.Int(f.disc);
      json.Key("mtime_ns");
      json.Int(f.mtimeNs);
      json.PathField("on_disc", f.onDisc);
      json.PathField("path", f.source);
      json.Key("sha256");
      json.String(HexDigest(f.sha256));
      json.Key("size");
      json.Int(f.size);
      json.EndObject();
    }
    json.EndArray();
    json.Key("set");
    json.String(catalog.SetName());
    json.EndObject();
    std::fputc('\n', stdout);
  } else {
    for (const CatalogFile& f : found) std::printf("disc%d\t%s\t%s\n", f.disc, dates[f.disc].c_str(), f.source.c_str());
  }
  if (found.empty()) Complain("no file of catalog " + catalog.Path() + " matches");
  return found.empty() ? ExitStatus::kFailed : ExitStatus::kOk;
}

ExitStatus RunVerify(const Options& o, Catalog& catalog) {
  const std::string& dir = o.operands[1];
  VerifyReport report;
  std::string why;
  bool verified;
  {
    ByteProgress progress(o.quiet, "checking " + dir);
    verified = VerifyDisc(
        catalog, dir, report, [&](std::uint64_t done, std::uint64_t total) { return progress.Show(done, total); }, why);
  }
  if (!verified) {
    if (g_stop.load(std::memory_order_relaxed)) {
      Complain("interrupted: " + dir + " not checked to its end");
      return Stopped();
    }
    Complain(why);
    return ExitStatus::kFailed;
  }
  const std::string disc = "disc " + std::to_string(report.label.number);
  if (o.json) {
    JsonWriter json(stdout);
    json.BeginObject();
    json.Key("bytes");
    json.Int(static_cast<std::int64_t>(report.bytes));
    json.Key("corrupt");
    json.BeginArray();
    for (const auto& [path, what] : report.corrupt) {
      json.BeginObject();
      json.PathField("path", path);
      json.Key("why");
      json.String(what);
      json.EndObject();
    }
    json.EndArray();
    json.Key("date");
    json.String(report.label.date);
    json.Key("disc");
    json.Int(report.label.number);
    const auto paths = [&](const char* key, const std::vector<std::string>& list) {
      json.Key(key);
      json.BeginArray();
      for (const std::string& path : list) {
        json.BeginObject();
        json.PathField("path", path);
        json.EndObject();
      }
      json.EndArray();
    };
    paths("extra", report.extra);
    json.Key("files");
    json.Int(static_cast<std::int64_t>(report.files));
    paths("missing", report.missing);
    json.Key("set");
    json.String(report.label.setName);
    json.EndObject();
    std::fputc('\n', stdout);
  } else {
    std::printf("%s of set %s, written %s: %s, %s bytes\n", disc.c_str(), report.label.setName.c_str(),
                report.label.date.c_str(), Plural(report.files, "file", "files").c_str(),
                Grouped(static_cast<std::int64_t>(report.bytes)).c_str());
    for (const auto& [path, what] : report.corrupt) std::printf("corrupt\t%s\t%s\n", path.c_str(), what.c_str());
    for (const std::string& path : report.missing) std::printf("missing\t%s\n", path.c_str());
    for (const std::string& path : report.extra) std::printf("extra\t%s\n", path.c_str());
    if (report.Clean()) std::printf("every file as it was written\n");
    else
      std::printf("%s corrupt, %s missing, %s extra\n",
                  Grouped(static_cast<std::int64_t>(report.corrupt.size())).c_str(),
                  Grouped(static_cast<std::int64_t>(report.missing.size())).c_str(),
                  Grouped(static_cast<std::int64_t>(report.extra.size())).c_str());
  }
  return report.Clean() ? ExitStatus::kOk : ExitStatus::kDiffers;
}

ExitStatus RunForget(const Options& o) {
  std::int64_t number = 0, files = 0;
  std::string why;
  ParseCount(o.forgetText, 1'000'000'000, number, why);
  Catalog catalog;
  if (!catalog.Open(o.operands[0], Catalog::Access::kChange, why) ||
      !catalog.Forget(static_cast<int>(number), files, why)) {
    Complain(why);
    return ExitStatus::kFailed;
  }
  std::printf("disc %d forgotten: %s of set %s are planned again by the next run\n", static_cast<int>(number),
              Plural(static_cast<std::size_t>(files), "file", "files").c_str(), catalog.SetName().c_str());
  return ExitStatus::kOk;
}

ExitStatus RunCatalog(const Options& o, Catalog& catalog) {
  std::vector<DiscSummary> discs;
  std::vector<SourceChange> changes;
  std::string why;
  bool ok = catalog.Discs(discs, why);
  if (ok) {
    Progress progress(o.quiet);
    ok = catalog.Changes(
        changes,
        [&](std::uint64_t done, std::uint64_t total) {
          if (progress.Due())
            progress.Show("looking at the sources: " + Grouped(static_cast<std::int64_t>(done)) + " of " +
                          Plural(total, "file", "files"));
          return !g_stop.load(std::memory_order_relaxed);
        },
        why);
  }
  if (!ok) {
    if (g_stop.load(std::memory_order_relaxed)) {
      Complain("interrupted: the sources were not all looked at");
      return Stopped();
    }
    Complain(why);
    return ExitStatus::kFailed;
  }
  std::int64_t files = 0, bytes = 0;
  for (const DiscSummary& d : discs) files += d.files, bytes += d.bytes;
  if (o.json) {
    JsonWriter json(stdout);
    json.BeginObject();
    json.Key("catalog");
    json.String(catalog.Path());
    const auto changed = [&](bool gone) {
      json.Key(gone ? "gone" : "changed");
      json.BeginArray();
      for (const SourceChange& c : changes) {
        if (c.gone != gone) continue;
        json.BeginObject();
        json.Key("disc");
        json.Int(c.disc);
        json.PathField("path", c.source);
        json.EndObject();
      }
      json.EndArray();
    };
    changed(false);
    json.Key("discs");
    json.BeginArray();
    for (const DiscSummary& d : discs) {
      json.BeginObject();
      json.Key("bytes");
      json.Int(d.bytes);
      json.Key("date");
      json.String(d.date);
      json.Key("disc_id");
      json.String(d.discId);
      json.Key("files");
      json.Int(d.files);
      json.Key("number");
      json.Int(d.number);
      json.EndObject();
    }
    json.EndArray();
    changed(true);
    json.Key("set");
    json.String(catalog.SetName());
    json.EndObject();
    std::fputc('\n', stdout);
    return ExitStatus::kOk;
  }
  std::printf("set %s (%s): %s, %s, %s bytes\n", catalog.SetName().c_str(), catalog.Path().c_str(),
              Plural(discs.size(), "disc", "discs").c_str(),
              Plural(static_cast<std::size_t>(files), "file", "files").c_str(), Grouped(bytes).c_str());
  if (!discs.empty()) std::printf("%-8s  %-10s  %11s  %19s\n", "disc", "date", "files", "bytes");
  for (const DiscSummary& d : discs)
    std::printf("%-8s  %-10s  %11s  %19s\n", ("disc" + std::to_string(d.number)).c_str(), d.date.c_str(),
                Grouped(d.files).c_str(), Grouped(d.bytes).c_str());
  std::size_t gone = 0;
  for (const SourceChange& c : changes) {
    std::printf("%s\tdisc%d\t%s\n", c.gone ? "gone" : "changed", c.disc, c.source.c_str());
    gone += c.gone;
  }
  if (changes.empty() && files > 0) std::printf("no file changed or gone since it was written\n");
  else if (!changes.empty())
    std::printf("%s changed since written, %s gone from where they were\n",
                Plural(changes.size() - gone, "file", "files").c_str(),
                Grouped(static_cast<std::int64_t>(gone)).c_str());
  return ExitStatus::kOk;
}

}  // namespace

ExitStatus RunSetCommand(const Options& o) {
  if (o.command == "catalog" && !o.forgetText.empty()) return RunForget(o);
  Catalog catalog;
  std::string why;
  if (!catalog.Open(o.operands[0], Catalog::Access::kRead, why)) {
    Complain(why);
    return ExitStatus::kFailed;
  }
  if (o.command == "find") return RunFind(o, catalog);
  if (o.command == "verify") return RunVerify(o, catalog);
  return RunCatalog(o, catalog);
}
