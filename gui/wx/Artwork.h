#pragma once
// The program's own pictures, drawn at start-up: the application icon (resource 103) and
// the Debug Mode picture (bitmap 107).
#include <wx/bitmap.h>
#include <wx/iconbndl.h>

namespace zorvan::gui {

inline constexpr int kDebugPictureWidth = 122;
inline constexpr int kDebugPictureHeight = 24;

// The red words "Debug Mode" on the dialog's background, 122 x 24 pixels.
wxBitmap DebugModeBitmap();
// The icon in 16, 32 and 48 pixels.
wxIconBundle ApplicationIcons();
wxBitmap ApplicationBitmap(int size);

}  // namespace zorvan::gui
