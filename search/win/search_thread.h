#pragma once
// The worker side of a computation: its parameters, the stop flag, and the thread routine.

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "files/file_entry.h"

/// Set by 完了 (the user-interface thread writes it, the search reads it).
extern std::atomic<std::uint8_t> g_stopSearch;

/// The capacity left minus the best total so far; the worker alone writes it while it runs.
extern std::int64_t g_bestRemainder;

/// Filled just before the worker starts, read by it once.
struct SearchParams {
  int lower;
  int upper;
  std::int64_t capacity;
  std::int64_t* bestRemainder;
  const FileEntry* candidates;
  int count;
  HWND mainDialog;   ///< receives ID_SEARCH_DONE when the search has ended
  HWND progress;     ///< its label 1013 shows the best total
  bool outOfMemory;  ///< set by the worker when an allocation failed; read at the completion
};
extern SearchParams g_searchParams;

/// Runs the search and then sends ID_SEARCH_DONE to the main dialog, waiting until it is handled.
DWORD WINAPI SearchThreadProc(LPVOID params);

/// Starts SearchThreadProc on a new thread (default stack and security); null on failure.
HANDLE StartSearchThread(SearchParams* params);

/// Replaces the thread start (tests make it fail); null puts CreateThread back.
using ThreadStarter = HANDLE (*)(LPTHREAD_START_ROUTINE routine, LPVOID argument);
void SetThreadStarter(ThreadStarter starter);
