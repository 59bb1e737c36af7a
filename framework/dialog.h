#pragma once
// Dialogs from templates, modal or modeless, with their messages dispatched through a table.
//
// One static dialog procedure serves every dialog: the object is stored in DWLP_USER at
// WM_INITDIALOG, messages go to typed virtual handlers, and no exception crosses back into the
// system's code.

#include <windows.h>

#include "framework/message_table.h"
#include "framework/wnd.h"

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT templateId, HWND parent = nullptr) : m_templateId(templateId), m_parent(parent) {}
  /// Destroys the window if it still exists.
  ~CDialog() override;

  /// Runs the dialog modally; without a parent, the application's main window owns it. The
  /// owner is disabled meanwhile, and every dialog of the thread, modeless ones included, gets
  /// its keyboard handling (Tab, Enter, Esc) in the loop.
  INT_PTR DoModal();
  /// Creates the dialog as a modeless window.
  bool Create(UINT templateId, HWND parent);
  void DestroyWindow();
  /// Ends a modal run with the result; a modeless dialog is destroyed instead.
  void EndDialog(int result);
  /// The dialog object of a window made by this class, or null.
  static CDialog* FromHandle(HWND hwnd);
  /// Sizes the client area and places every control as the dialog manager does at 96 DPI,
  /// scaled to `dpi`. At other DPIs the dialog font's dialog units grow by whole pixels, not by
  /// DPI/96, and texts outgrow controls the system places by them. Bitmap and icon statics keep
  /// their size (their picture's). False when the template cannot be read.
  bool PlaceAsAt96(UINT dpi);

 protected:
  /// Binds the controls (DoDataExchange) and returns TRUE: the first tab stop gets the focus.
  virtual BOOL OnInitDialog();
  /// Attaches control objects to their dialog items.
  virtual void DoDataExchange() {}
  /// The exit operation: binds once more, then ends with IDOK.
  virtual void OnOK();
  /// The cancel operation: ends with IDCANCEL.
  virtual void OnCancel();
  /// Every WM_COMMAND, as the control's or menu item's id and the notification code: the
  /// message table first, then IDOK and IDCANCEL.
  virtual BOOL OnCommand(UINT id, UINT code);
  /// The dialog's message table (framework/message_table.h); true when the message was handled,
  /// with its result.
  virtual bool OnMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM w, LPARAM l);
  void RunModalLoop();

  UINT m_templateId;
  HWND m_parent;
  bool m_modal = false;
  bool m_endModal = false;
  INT_PTR m_result = 0;
};

/// Gives a message meant for a dialog of this framework, or for one of its controls, the
/// dialog's keyboard handling. True when the message was used up that way; every message loop
/// of the program calls it before translating and dispatching.
bool PreTranslateDialogMessage(MSG& msg);
