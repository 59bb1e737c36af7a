#include "tests/cli/tool_run.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "tests/temp_dir.h"

namespace {

// Reads both streams to their ends at once: a tool that fills one while the other is read
// would wait forever.
void DrainBoth(int out, int err, std::string& outText, std::string& errText) {
  pollfd fds[2] = {{out, POLLIN, 0}, {err, POLLIN, 0}};
  std::string* texts[2] = {&outText, &errText};
  char buf[4096];
  for (int open = 2; open > 0;) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        texts[i]->append(buf, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        fds[i].fd = -1;
        --open;
      }
    }
  }
}

// Whether the process has a handler for the signal (its caught-signals mask in /proc).
bool Catches(pid_t pid, int signal) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("SigCgt:", 0) == 0) return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1;
  }
  return false;
}

}  // namespace

ToolRun Fit(std::vector<std::string> args, const std::string& cwd, const std::string& input, int interruptAfterMs,
            int signal, bool holdInput, const std::function<void()>& meanwhile) {
  int in[2], out[2], err[2];
  if (pipe(in) || pipe(out) || pipe(err)) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    if (chdir(cwd.c_str()) != 0) _exit(126);
    std::vector<char*> argv{const_cast<char*>(ZUMIBO_FIT_PATH)};
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(ZUMIBO_FIT_PATH, argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  // A tool that refuses its options exits without reading its input: the write then fails with
  // EPIPE instead of ending the test with SIGPIPE.
  ::signal(SIGPIPE, SIG_IGN);
  if (!input.empty() && write(in[1], input.data(), input.size()) < 0 && errno != EPIPE) ADD_FAILURE() << "write";
  if (!holdInput) close(in[1]);
  if (interruptAfterMs) {
    // The delay counts from when the tool catches the signal: a slow start (sanitizers, a busy
    // machine) would otherwise meet the default action instead. SIGKILL is never caught: its delay
    // counts from when the tool catches SIGINT, as it does once it has started.
    const int caught = signal == SIGKILL ? SIGINT : signal;
    for (int i = 0; i < 1000 && !Catches(pid, caught); ++i) usleep(10'000);
    usleep(interruptAfterMs * 1000);
    if (meanwhile) meanwhile();
    else kill(pid, signal);
  }
  if (holdInput) close(in[1]);
  ToolRun r;
  DrainBoth(out[0], err[0], r.out, r.err);
  close(out[0]);
  close(err[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return r;
}

void Sparse(const std::string& path, std::uintmax_t size) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  WriteFileBytes(path, "");
  std::filesystem::resize_file(path, size);
}
