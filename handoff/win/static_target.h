#pragma once

#include <windows.h>
#include <ole2.h>

#include "framework/controls.h"

/// The drag-out target: pressing the left button on it and dragging hands the result files to
/// another program as an ordinary shell file drop.
class CStaticTarget : public CStatic {
 protected:
  bool OnSubclassMessage(UINT message, WPARAM w, LPARAM l, LRESULT& result) override;

 private:
  /// Runs the drag; the static's own handling of the press follows.
  bool OnLButtonDown(UINT keys, POINT at);
};

/// Builds the drop data from the result set, puts it into the data source and runs the drag.
/// With the window that was pressed, the drag starts only once the pointer has moved away or
/// the button was held long enough; without one it starts at once. Returns the effect the drop
/// target chose (DROPEFFECT_NONE when no drag took place).
DWORD BeginResultDrag(HWND pressed);

/// The data object the drags use (null before the first drag).
IDataObject* ResultDataSource();
