#pragma once
// Allocations on one chosen thread fail once a countdown has run out, as when memory runs out
// there; every other allocation of the test program goes on as usual.

#include <windows.h>

#include <atomic>

/// The thread whose allocations may fail (0: none).
extern std::atomic<DWORD> g_failingThread;
/// How many more allocations of that thread succeed before each further one fails.
extern std::atomic<long> g_allocationsLeft;
