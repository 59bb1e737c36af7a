#include "cli/burn_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

std::string Reason(const std::string& what, int error) { return what + ": " + std::strerror(error); }

// Every folder of `path` above its last component, made as needed.
bool MakeParents(const std::string& path, int& error) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    if (mkdir(path.substr(0, slash).c_str(), 0777) != 0 && errno != EEXIST) {
      error = errno;
      return false;
    }
  }
  return true;
}

// The whole file, into a new file that must not exist yet; a partial copy is removed.
bool Copy(const std::string& from, const std::string& to, int& error) {
  const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    error = errno;
    return false;
  }
  struct stat st;
  const int out =
      fstat(in, &st) == 0 ? open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0777) : -1;
  if (out < 0) {
    error = errno;
    close(in);
    return false;
  }
  char buffer[1 << 16];
  bool ok = true;
  for (ssize_t n; ok && (n = read(in, buffer, sizeof buffer)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    for (ssize_t done = 0; ok && n > 0 && done < n;) {
      const ssize_t w = write(out, buffer + done, static_cast<std::size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) ok = false;
      else done += w;
    }
    if (n < 0) ok = false;
  }
  if (!ok) error = errno;
  if (close(out) != 0 && ok) {
    ok = false;
    error = errno;
  }
  close(in);
  if (!ok) unlink(to.c_str());
  return ok;
}

}  // namespace

bool GraftLine(const DiscFile& file, std::string& line) {
  if (file.onDisc.find('\n') != std::string::npos || file.source.find('\n') != std::string::npos) return false;
  line.clear();
  for (const std::string* part : {&file.onDisc, &file.source}) {
    if (part == &file.source) line += '=';
    for (char c : *part) {
      if (c == '=' || c == '\\') line += '\\';
      line += c;
    }
  }
  return true;
}

bool WritePathLists(const std::string& folder, const std::vector<std::vector<DiscFile>>& discs,
                    void (*complaint)(const std::string& what)) {
  if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
    complaint(Reason("cannot make " + folder, errno));
    return false;
  }
  std::string line;
  for (std::size_t d = 0; d < discs.size(); ++d) {
    const std::string name = folder + "/disc" + std::to_string(d + 1) + ".list";
    std::FILE* out = std::fopen(name.c_str(), "wb");
    if (!out) {
      complaint(Reason("cannot write " + name, errno));
      return false;
    }
    for (const DiscFile& f : discs[d]) {
      if (GraftLine(f, line)) {
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), out);
      } else {
        complaint(name + ": left out " + f.source + ": a path list cannot hold a newline (use --link-into)");
      }
    }
    if (std::fclose(out) != 0) {
      complaint(Reason("cannot write " + name, errno));
      return false;
    }
  }
  return true;
}

int LinkInto(const std::string& folder, const std::vector<std::vector<DiscFile>>& discs, bool copy,
             void (*complaint)(const std::string& what)) {
  int failed = 0;
  for (std::size_t d = 0; d < discs.size(); ++d) {
    const std::string disc = folder + "/disc" + std::to_string(d + 1) + "/";
    for (const DiscFile& f : discs[d]) {
      const std::string target = disc + f.onDisc;
      int error = 0;
      bool ok = MakeParents(target, error);
      if (ok && !copy) {
        ok = link(f.source.c_str(), target.c_str()) == 0;
        if (!ok) error = errno;
      } else if (ok) {
        ok = Copy(f.source, target, error);
      }
      if (ok) continue;
      ++failed;
      complaint(Reason("cannot place " + f.source + " at " + target, error) +
                (error == EXDEV ? " (another file system: use --copy)" : ""));
    }
  }
  return failed;
}
