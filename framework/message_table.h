#pragma once
// Message tables: a window's messages and commands as data, read top to bottom, each entry naming
// the member that handles it. The entry unpacks WPARAM and LPARAM into the handler's typed
// arguments (as WTL's crackers do), so no handler casts them:
//
//   static constexpr MessageEntry<CMainDialog> kTable[] = {
//       WmSize<&CMainDialog::OnSize>(),                          // void OnSize(UINT type, SIZE client)
//       Command<&CMainDialog::OnCompute>(IDC_COMPUTE),           // void OnCompute()
//       Command<&CMainDialog::OnCapacityChange>(IDC_CAPACITY, EN_CHANGE),
//   };
//
// A handler that returns bool returns false to ask for the window's default processing.

#include <windows.h>

#include <cstddef>

template <class T>
struct MessageEntry {
  UINT message;
  UINT id;    ///< WM_COMMAND: the control or menu item
  UINT code;  ///< WM_COMMAND: the notification
  /// Calls the handler with the unpacked arguments; false when the default processing should run.
  bool (*handle)(T& self, WPARAM w, LPARAM l, LRESULT& result);
};

/// The class a member function belongs to.
template <class M>
struct MemberOf;
template <class R, class C, class... A>
struct MemberOf<R (C::*)(A...)> {
  using Class = C;
};
template <auto Handler>
using HandlerClass = typename MemberOf<decltype(Handler)>::Class;

/// A command from a control or menu item: void Handler().
template <auto Handler>
constexpr MessageEntry<HandlerClass<Handler>> Command(UINT id, UINT code = BN_CLICKED) {
  return {WM_COMMAND, id, code, [](HandlerClass<Handler>& self, WPARAM, LPARAM, LRESULT& result) {
            (self.*Handler)();
            result = 0;
            return true;
          }};
}

/// WM_SIZE: void Handler(UINT type, SIZE client), type SIZE_MINIMIZED, SIZE_RESTORED, ...
template <auto Handler>
constexpr MessageEntry<HandlerClass<Handler>> WmSize() {
  return {WM_SIZE, 0, 0, [](HandlerClass<Handler>& self, WPARAM w, LPARAM l, LRESULT& result) {
            (self.*Handler)(static_cast<UINT>(w), SIZE{LOWORD(l), HIWORD(l)});
            result = 0;
            return true;
          }};
}

/// WM_GETMINMAXINFO: void Handler(MINMAXINFO& info), which changes the sizes it wants changed.
template <auto Handler>
constexpr MessageEntry<HandlerClass<Handler>> WmGetMinMaxInfo() {
  return {WM_GETMINMAXINFO, 0, 0, [](HandlerClass<Handler>& self, WPARAM, LPARAM l, LRESULT& result) {
            if (!l) return false;
            (self.*Handler)(*reinterpret_cast<MINMAXINFO*>(l));
            result = 0;
            return true;
          }};
}

/// WM_SYSCOMMAND: bool Handler(UINT command), the command without the system's own low four bits.
template <auto Handler>
constexpr MessageEntry<HandlerClass<Handler>> WmSysCommand() {
  return {WM_SYSCOMMAND, 0, 0, [](HandlerClass<Handler>& self, WPARAM w, LPARAM, LRESULT& result) {
            result = 0;
            return (self.*Handler)(static_cast<UINT>(w & 0xFFF0));
          }};
}

/// WM_PAINT: bool Handler(), which paints with BeginPaint and EndPaint or returns false.
template <auto Handler>
constexpr MessageEntry<HandlerClass<Handler>> WmPaint() {
  return {WM_PAINT, 0, 0, [](HandlerClass<Handler>& self, WPARAM, LPARAM, LRESULT& result) {
            result = 0;
            return (self.*Handler)();
          }};
}

/// WM_QUERYDRAGICON: HICON Handler(), the icon shown while a minimised window is dragged.
template <auto Handler>
constexpr MessageEntry<HandlerClass<Handler>> WmQueryDragIcon() {
  return {WM_QUERYDRAGICON, 0, 0, [](HandlerClass<Handler>& self, WPARAM, LPARAM, LRESULT& result) {
            result = reinterpret_cast<LRESULT>((self.*Handler)());
            return true;
          }};
}

/// WM_DROPFILES: void Handler(HDROP drop), which ends with DragFinish.
template <auto Handler>
constexpr MessageEntry<HandlerClass<Handler>> WmDropFiles() {
  return {WM_DROPFILES, 0, 0, [](HandlerClass<Handler>& self, WPARAM w, LPARAM, LRESULT& result) {
            (self.*Handler)(reinterpret_cast<HDROP>(w));
            result = 0;
            return true;
          }};
}

/// WM_LBUTTONDOWN: bool Handler(UINT keys, POINT at), at in client coordinates (which may be
/// negative on a second monitor, hence the signed halves).
template <auto Handler>
constexpr MessageEntry<HandlerClass<Handler>> WmLButtonDown() {
  return {WM_LBUTTONDOWN, 0, 0, [](HandlerClass<Handler>& self, WPARAM w, LPARAM l, LRESULT& result) {
            result = 0;
            return (self.*Handler)(static_cast<UINT>(w),
                                   POINT{static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l))});
          }};
}

/// WM_DPICHANGED: bool Handler(UINT dpi, const RECT& suggested), the window's new DPI (the same
/// on both axes) and the window rectangle the system suggests for it; false lets the default
/// handling run too (in a dialog, the dialog manager's rescaling of its font and controls).
template <auto Handler>
constexpr MessageEntry<HandlerClass<Handler>> WmDpiChanged() {
  return {WM_DPICHANGED, 0, 0, [](HandlerClass<Handler>& self, WPARAM w, LPARAM l, LRESULT& result) {
            if (!l) return false;
            result = 0;
            return (self.*Handler)(HIWORD(w), *reinterpret_cast<const RECT*>(l));
          }};
}

/// WM_NOTIFY from a control: bool Handler(const NMHDR& header, LRESULT& result), which sets the
/// result the notification asks for, or returns false for the default handling.
template <auto Handler>
constexpr MessageEntry<HandlerClass<Handler>> WmNotify() {
  return {WM_NOTIFY, 0, 0, [](HandlerClass<Handler>& self, WPARAM, LPARAM l, LRESULT& result) {
            if (!l) return false;
            result = 0;
            return (self.*Handler)(*reinterpret_cast<const NMHDR*>(l), result);
          }};
}

/// A message of the window's own (WM_APP and above), posted or sent to it with no arguments:
/// void Handler().
template <auto Handler>
constexpr MessageEntry<HandlerClass<Handler>> OwnMessage(UINT message) {
  return {message, 0, 0, [](HandlerClass<Handler>& self, WPARAM, LPARAM, LRESULT& result) {
            (self.*Handler)();
            result = 0;
            return true;
          }};
}

/// Calls the handler of the first entry that matches the message (and, for a command, its id
/// and notification). True when it was handled, with its result in `result`.
template <class T, std::size_t N>
bool DispatchTable(T& self, const MessageEntry<T> (&table)[N], UINT message, WPARAM w, LPARAM l, LRESULT& result) {
  for (const MessageEntry<T>& e : table) {
    if (e.message != message) continue;
    if (message == WM_COMMAND && (e.id != LOWORD(w) || e.code != HIWORD(w))) continue;
    return e.handle(self, w, l, result);
  }
  return false;
}
