#pragma once
// zumibo-fit run as a separate process, as a user runs it, for the command-line tests.

#include <signal.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct ToolRun {
  int exit = -1;  ///< the exit status, or 128 + the signal that ended the process
  std::string out, err;
};

/// Runs zumibo-fit with the arguments in `cwd`, feeding `input` on stdin. With interruptAfterMs
/// the process gets `signal` that long after it has set up its handler for it (for SIGKILL, its
/// SIGINT handler), or with `meanwhile` that is called then instead; with holdInput its stdin
/// stays open until then.
ToolRun Fit(std::vector<std::string> args, const std::string& cwd, const std::string& input = "",
            int interruptAfterMs = 0, int signal = SIGINT, bool holdInput = false,
            const std::function<void()>& meanwhile = nullptr);

/// A file of `size` bytes that takes no room: its data is a hole. Makes its folders.
void Sparse(const std::string& path, std::uintmax_t size);
