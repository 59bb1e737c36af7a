#include "cli/plan_output.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cli/exit_status.h"
#include "cli/messages.h"
#include "discs/model.h"

namespace {

void WriteFileJson(JsonWriter& w, const Collection& c, const Candidate& f) {
  w.BeginObject();
  if (f.nameCount > 1) {
    w.Key("also");
    w.BeginArray();
    for (std::uint32_t k = 1; k < f.nameCount; ++k) {
      w.BeginObject();
      w.Key("on_disc");
      w.String(c.OnDisc(f, k));
      w.PathField("path", c.Source(f, k));
      w.EndObject();
    }
    w.EndArray();
  }
  if (f.folder) {
    w.Key("folder");
    w.Bool(true);
  }
  w.Key("on_disc");
  w.String(c.OnDisc(f));
  w.PathField("path", c.Source(f));
  w.Key("size");
  w.Int(f.size);
  w.EndObject();
}

}  // namespace

std::string Accounting(const Job& job, bool json) {
  const bool udf = job.model.fileSystem == DiscFileSystem::kIsoUdf;
  if (!job.onDisc) return json ? "raw" : "bytes as they are (--raw)";
  if (!job.model.records)
    return json ? "reserve"
                : "on the disc: blocks of " + Grouped(job.model.block) + " bytes and " + Grouped(job.model.reserve) +
                      " bytes set aside";
  if (json) return udf ? "iso+udf" : "iso";
  return std::string("on the disc: ISO 9660 + Joliet + Rock Ridge") +
         (udf ? " + UDF (genisoimage -udf)" : " (genisoimage, xorriso)");
}

std::string Shown(std::string_view path) {
  static const char kHex[] = "0123456789abcdef";
  std::string shown;
  shown.reserve(path.size());
  for (const char ch : path) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c != 0x7F) {
      shown += ch;
    } else if (c == '\n') {
      shown += "\\n";
    } else if (c == '\t') {
      shown += "\\t";
    } else if (c == '\r') {
      shown += "\\r";
    } else {
      shown += "\\x";
      shown += kHex[c >> 4];
      shown += kHex[c & 15];
    }
  }
  return shown;
}

void PrintDisc(const Disc& d, const Collection& c, const Job& job, const char* heading) {
  const int width = static_cast<int>(Grouped(std::max(d.capacity, d.total)).size());
  if (heading) std::printf("%s\n", heading);
  for (std::uint32_t i : d.files) {
    std::printf("%*s  %s%s\n", width, Grouped(c[i].size).c_str(), Shown(c.Source(c[i])).c_str(),
                c[i].folder ? "/ (empty folder)" : "");
    for (std::uint32_t k = 1; k < c[i].nameCount; ++k)
      std::printf("%*s  %s (another name of the file above)\n", width, "", Shown(c.Source(c[i], k)).c_str());
  }
  const char* stopped = d.complete      ? ""
                        : Interrupted() ? " (interrupted: best found so far)"
                                        : " (search stopped: best found so far)";
  std::printf("%*s  total, %s%s\n", width, Grouped(d.raw).c_str(), Plural(d.files.size(), "file", "files").c_str(),
              stopped);
  if (job.onDisc) std::printf("%*s  on the disc\n", width, Grouped(d.total).c_str());
  std::printf("%*s  capacity\n", width, Grouped(d.capacity).c_str());
  std::printf("%*s  remainder\n", width, Grouped(d.capacity - d.total).c_str());
}

void PrintLeftOut(const std::vector<LeftOut>& left) {
  if (left.empty()) return;
  std::printf("\nnot on any disc: %s\n", Plural(left.size(), "file or folder", "files and folders").c_str());
  for (const LeftOut& l : left)
    std::printf("%s  %s  (%s)\n", l.size < 0 ? "?" : Grouped(l.size).c_str(), Shown(l.path).c_str(), l.why.c_str());
}

void WriteDiscJson(JsonWriter& w, const Disc& d, const Collection& c, std::size_t candidates, const OneDiscJson* one,
                   int number) {
  w.BeginObject();
  if (one) {
    w.Key("accounting");
    w.String(one->accounting);
  }
  w.Key("candidates");
  w.Int(static_cast<std::int64_t>(candidates));
  w.Key("capacity");
  w.Int(d.capacity);
  w.Key("complete");
  w.Bool(d.complete);
  w.Key("elapsed_ms");
  w.Double(std::round(d.elapsedMs * 1000) / 1000);
  w.Key("files");
  w.BeginArray();
  for (std::uint32_t i : d.files) WriteFileJson(w, c, c[i]);
  w.EndArray();
  if (one) {
    w.Key("interrupted");
    w.Bool(one->interrupted);
    w.Key("not_on_any_disc");
    WriteLeftOutJson(w, *one->leftOut);
  }
  if (number) {
    w.Key("number");
    w.Int(number);
  }
  w.Key("raw_total");
  w.Int(d.raw);
  w.Key("remainder");
  w.Int(d.capacity - d.total);
  w.Key("total");
  w.Int(d.total);
  w.EndObject();
}

void WriteLeftOutJson(JsonWriter& w, const std::vector<LeftOut>& left) {
  w.BeginArray();
  for (const LeftOut& l : left) {
    w.BeginObject();
    w.PathField("path", l.path);
    if (l.size >= 0) {
      w.Key("size");
      w.Int(l.size);
    }
    w.Key("why");
    w.String(l.why);
    w.EndObject();
  }
  w.EndArray();
}
