#pragma once
// Screens of more than 96 DPI: lengths laid out for 96 DPI, scaled, and the pictures drawn for them.

#include <windows.h>

/// The DPI a window is shown at: its monitor's where the system scales each monitor by itself,
/// the system's otherwise.
UINT DpiOf(HWND hwnd);

/// A length of `pixels` at 96 DPI, at `dpi` (rounded to the nearest pixel).
inline int Scaled(int pixels, UINT dpi) { return MulDiv(pixels, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI); }

/// A system metric (GetSystemMetrics) at the DPI, where the system can give it for another DPI
/// than its own.
int MetricForDpi(int index, UINT dpi);

/// Of a picture drawn for 96, 144 and 192 DPI, the one for this DPI: the largest that is not
/// larger than the DPI asks for, so that none is ever shown stretched.
int PictureForDpi(UINT dpi, int at96, int at144, int at192);
