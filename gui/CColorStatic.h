#pragma once
// A static control with a text colour of its own, drawn transparently on the dialog.
#include <string>

#include "gui/dialog/DialogHost.h"

namespace zorvan::gui {

// The button-face and button-text colours the dialog is painted in (our fixed light theme).
inline constexpr ColorRef kButtonFace = 0xF0F0F0;
inline constexpr ColorRef kButtonText = 0x000000;

class CColorStatic {
  public:
    CColorStatic() = default;

    void Attach(DialogHost& host, ControlId id);
    bool Attached() const { return host_ != nullptr; }
    ControlId Id() const { return id_; }

    // Invalidates the dialog behind a transparent control first, so the old text does not
    // show through the new one.
    void SetWindowText(const std::wstring& text);
    // The dialog writes the colour and then redraws the control.
    void SetTextColour(ColorRef colour);
    ColorRef TextColour() const { return textColour_; }
    bool Transparent() const { return transparent_; }

  private:
    DialogHost* host_ = nullptr;
    ControlId id_ = 0;
    bool transparent_ = true;
    ColorRef background_ = kButtonFace;
    ColorRef textColour_ = kButtonText;
};

// The about box: template 105, nothing but its OK button.
class CAboutDlg {
  public:
    explicit CAboutDlg(DialogHost& host) : host_(host) {}
    void DoModal();

  private:
    DialogHost& host_;
};

}  // namespace zorvan::gui
