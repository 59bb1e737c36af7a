#include "search/win/cancel_dialog.h"

#include "res/resource.h"
#include "search/win/search_thread.h"

CCancelDialog::CCancelDialog(HWND parent) : CDialog(IDD_PROGRESS, parent) {}

void CCancelDialog::OnCancel() { g_stopSearch.store(1, std::memory_order_relaxed); }
