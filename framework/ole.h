#pragma once
// OLE for the user-interface thread, with the message filter that lets a busy drop target be
// retried instead of failing the drop.

#include <windows.h>
#include <ole2.h>

/// Initialises OLE on this thread and registers the program's message filter. False when OLE
/// could not be initialised (only the drag-out depends on it).
bool AfxOleInit();

/// Revokes the message filter and ends OLE on this thread, once for each successful AfxOleInit.
void AfxOleTerm();

/// How long a call that the other side rejected as busy is retried, and how often.
constexpr DWORD kOleBusyTimeout = 10000;
constexpr DWORD kOleRetryDelay = 100;

/// The filter: incoming calls are always handled, calls rejected by a busy callee are retried
/// every kOleRetryDelay milliseconds until kOleBusyTimeout, and the messages that arrive while
/// an outgoing call waits are processed as usual.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"  // COM objects are never deleted through the interface
class COleMessageFilter final : public IMessageFilter {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD callType, HTASK caller, DWORD tickCount,
                                             LPINTERFACEINFO info) override;
  DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK callee, DWORD tickCount, DWORD rejectType) override;
  DWORD STDMETHODCALLTYPE MessagePending(HTASK callee, DWORD tickCount, DWORD pendingType) override;
};
#pragma GCC diagnostic pop
