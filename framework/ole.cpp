#include "framework/ole.h"

namespace {
COleMessageFilter g_filter;  // lives as long as the process; its reference count is not kept
int g_oleInits = 0;
}  // namespace

HRESULT COleMessageFilter::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMessageFilter)) {
    *out = static_cast<IMessageFilter*>(this);
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

DWORD COleMessageFilter::HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) { return SERVERCALL_ISHANDLED; }

DWORD COleMessageFilter::RetryRejectedCall(HTASK, DWORD tickCount, DWORD rejectType) {
  if (rejectType == SERVERCALL_RETRYLATER && tickCount < kOleBusyTimeout) return kOleRetryDelay;
  return static_cast<DWORD>(-1);  // rejected for good, or busy too long: the call fails
}

DWORD COleMessageFilter::MessagePending(HTASK, DWORD, DWORD) { return PENDINGMSG_WAITDEFPROCESS; }

bool AfxOleInit() {
  if (FAILED(OleInitialize(nullptr))) return false;
  ++g_oleInits;
  CoRegisterMessageFilter(&g_filter, nullptr);
  return true;
}

void AfxOleTerm() {
  for (; g_oleInits > 0; --g_oleInits) {
    if (g_oleInits == 1) CoRegisterMessageFilter(nullptr, nullptr);
    OleUninitialize();
  }
}
