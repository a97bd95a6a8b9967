#include "gui/wx/Artwork.h"

#include <wx/dcmemory.h>
#include <wx/settings.h>

namespace zorvan::gui {

wxBitmap DebugModeBitmap() {
    wxBitmap bitmap(kDebugPictureWidth, kDebugPictureHeight);
    wxMemoryDC dc(bitmap);
    dc.SetBackground(wxBrush(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE)));
    dc.Clear();
    wxFont font(wxFontInfo(14).Family(wxFONTFAMILY_SWISS).Bold());
    dc.SetFont(font);
    // The largest bold size whose text fits the picture.
    while (font.GetPointSize() > 6 && (dc.GetTextExtent("Debug Mode").x > kDebugPictureWidth - 4 ||
                                       dc.GetTextExtent("Debug Mode").y > kDebugPictureHeight)) {
        font.SetPointSize(font.GetPointSize() - 1);
        dc.SetFont(font);
    }
    dc.SetTextForeground(wxColour(0xE0, 0x00, 0x00));
    const wxSize extent = dc.GetTextExtent("Debug Mode");
    dc.DrawText("Debug Mode", (kDebugPictureWidth - extent.x) / 2,
                (kDebugPictureHeight - extent.y) / 2);
    dc.SelectObject(wxNullBitmap);
    return bitmap;
}

// A blue chip with pins on two sides and a white Z.
wxBitmap ApplicationBitmap(int size) {
    wxBitmap bitmap(size, size, 32);
    bitmap.UseAlpha();
    wxMemoryDC dc(bitmap);
    dc.SetBackground(wxBrush(wxColour(0xFF, 0xFF, 0xFF)));
    dc.Clear();
    const int pin = std::max(1, size / 16);
    const int body = size / 6;
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(wxColour(0x90, 0x98, 0xA0)));
    for (int y = body + pin; y < size - body - pin; y += 3 * pin) {
        dc.DrawRectangle(0, y, body, pin * 2);
        dc.DrawRectangle(size - body, y, body, pin * 2);
    }
    dc.SetBrush(wxBrush(wxColour(0x1E, 0x4F, 0x9C)));
    dc.DrawRoundedRectangle(body - pin, body / 2, size - 2 * (body - pin), size - body, pin * 2);
    dc.SetPen(wxPen(*wxWHITE, std::max(2, size / 10)));
    const int l = size * 3 / 10;
    const int r = size - l;
    const int t = size * 3 / 10;
    const int b = size - t;
    dc.DrawLine(l, t, r, t);
    dc.DrawLine(r, t, l, b);
    dc.DrawLine(l, b, r, b);
    dc.SelectObject(wxNullBitmap);
    return bitmap;
}

wxIconBundle ApplicationIcons() {
    wxIconBundle icons;
    for (int size : {16, 32, 48}) {
        wxIcon icon;
        icon.CopyFromBitmap(ApplicationBitmap(size));
        icons.AddIcon(icon);
    }
    return icons;
}

}  // namespace zorvan::gui
