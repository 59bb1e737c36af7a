#pragma once

#include "framework/dialog.h"

/// The progress dialog of a computation: the best total so far, the capacity, and 完了 to stop.
/// Its window exists only while a computation runs.
class CCancelDialog : public CDialog {
 public:
  explicit CCancelDialog(HWND parent = nullptr);

 protected:
  /// 完了, Esc and the close box only ask the search to stop; the dialog stays until it has.
  void OnCancel() override;
  /// Enter does what 完了 does: it is the dialog's one button and has the focus, and Enter
  /// presses such a button. (The base would destroy the modeless window under the running search.)
  void OnOK() override { OnCancel(); }
};
