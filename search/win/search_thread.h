#pragma once
// The worker side of a computation: its parameters, the stop flag, and the thread routine.
//
// How a computation is handed over between the two threads. No lock is taken: at each step one
// thread owns what is shared, and the thread start and the completion's synchronous send are the
// two points where ownership changes hands.
//
// 1. The user-interface thread prepares (CMainDialog::OnCompute, app/win/main_dialog_compute.cpp).
//    It owns everything: it moves the chosen entries into g_pinnedSet, opens the progress dialog,
//    writes the initial solution into g_resultSet and its remainder into g_bestRemainder, copies
//    the source set into the candidate array m_candidates, disables the main window (which is
//    enabled exactly while m_candidates is null), fills g_searchParams, clears g_stopSearch and
//    starts the thread. It keeps the thread's handle (CMainDialog::m_worker) until the next start
//    or its own end.
// 2. The worker searches (SearchThreadProc). It alone writes g_resultSet, g_bestRemainder and
//    g_searchParams.outOfMemory, and reads the candidates, which nobody changes meanwhile. It shows
//    each better total in the progress dialog with SetDlgItemText, a send that the user-interface
//    thread carries out. That thread only writes g_stopSearch (完了, Enter and Esc in the progress
//    dialog), refuses every command and drop that would change a file set or end the dialog
//    (CMainDialog::Computing), and frees nothing the worker reads.
// 3. The worker hands back: it sends kSearchDoneMessage to the main dialog and waits inside that send
//    while the user-interface thread takes everything back (CMainDialog::OnSearchDone): it closes
//    the progress dialog, adds the pinned entries to the result, takes the result files out of the
//    source set, frees m_candidates and enables the window. When the send returns, the worker
//    touches nothing shared any more and ends.
// 4. Only a WM_QUIT ends the dialog's loop while the worker runs (every command that would end it
//    waits). The windows then go first, and the dialog's destructor sets g_stopSearch and waits for
//    the thread before anything is freed, handling the sends the worker may be waiting in; its
//    sends to the destroyed windows fail, so the completion does not run, and nothing after the
//    thread's end reads what it wrote.

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "files/file_entry.h"
#include "res/resource.h"

/// The completion of a computation (ID_SEARCH_DONE): the worker sends it, with no arguments, to
/// the main dialog once the search has ended, and waits in that send until it has been handled.
constexpr UINT kSearchDoneMessage = WM_APP + ID_SEARCH_DONE;

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
  HWND mainDialog;   ///< receives kSearchDoneMessage when the search has ended
  HWND progress;     ///< its label 1013 shows the best total
  bool outOfMemory;  ///< set by the worker when an allocation failed; read at the completion
};
extern SearchParams g_searchParams;

/// Runs the search and then sends kSearchDoneMessage to the main dialog, waiting until it is handled.
DWORD WINAPI SearchThreadProc(LPVOID params);

/// Starts SearchThreadProc on a new thread (default stack and security); null on failure.
HANDLE StartSearchThread(SearchParams* params);

/// Replaces the thread start (tests make it fail); null puts CreateThread back.
using ThreadStarter = HANDLE (*)(LPTHREAD_START_ROUTINE routine, LPVOID argument);
void SetThreadStarter(ThreadStarter starter);

/// Called on the worker after each better combination is written (tests hold a search there, so
/// that it runs until it is stopped however fast the engine is); null for none.
using ImprovementHook = void (*)();
void SetImprovementHook(ImprovementHook hook);
