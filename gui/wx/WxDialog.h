#pragma once
// The dialog layer on wxWidgets: one wxDialog built from a template, its controls placed
// in dialog units of the dialog's font, the logic's events delivered from wx's.
#include <wx/dialog.h>
#include <wx/power.h>

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "gui/dialog/DialogHost.h"

namespace zorvan::gui {

class WxDialog final : public wxDialog, public DialogHost {
  public:
    WxDialog(wxWindow* parent, const DialogSpec& layout);
    ~WxDialog() override;

    // Sends the initialisation message and runs the dialog modally; its end result.
    int Run(DialogEvents& events);

    // One line per shown control: "id x y w h enabled|disabled text", then "progress" with the
    // highest position and the number of position changes so far, "origin" with the screen
    // position of the client area's top left corner, and "message" or "question" with the
    // text of a message or question box that is open (for diagnostics).
    std::wstring DescribeShownControls() const;

    // --- DialogHost ---
    std::wstring GetText(ControlId id) const override;
    void SetText(ControlId id, const std::wstring& text) override;
    void Show(ControlId id, bool shown) override;
    bool IsShown(ControlId id) const override;
    void Enable(ControlId id, bool enabled) override;
    bool IsEnabled(ControlId id) const override;
    void SetChecked(ControlId id, bool checked) override;
    bool IsChecked(ControlId id) const override;
    Rect WindowRect(ControlId id) const override;
    void Move(ControlId id, const Rect& rect) override;
    int32_t DialogHeight() const override;
    void SetDialogHeight(int32_t height) override;
    int32_t FrameHeight() const override;
    Rect DialogUnitsToPixels(const Rect& units) const override;
    void SetBoxColours(ControlId id, std::optional<BoxColours> colours) override;
    void SetStaticColours(ControlId id, ColorRef text, bool transparent) override;
    void Redraw(ControlId id) override;
    void InvalidateBehind(ControlId id) override;
    void SetSelection(ControlId id, int32_t from, int32_t to) override;
    void ScrollCaret(ControlId id) override;
    void ReplaceSelection(ControlId id, const std::wstring& text) override;
    void SetProgressRange(ControlId id, int32_t low, int32_t high) override;
    void SetProgressPosition(ControlId id, int32_t position) override;
    void MessageBox(const std::wstring& text, const std::wstring& caption,
                    MessageIcon icon) override;
    bool AskYesNo(const std::wstring& text, const std::wstring& caption) override;
    std::optional<std::wstring> OpenFile(const OpenFileRequest& request) override;
    void RunModal(const DialogSpec& layout) override;
    void AppendSystemMenuSeparator() override;
    void AppendSystemMenuItem(uint32_t command, const std::wstring& text) override;
    void SetIcon(int32_t resource) override;
    void KeepAwake() override;
    void EndDialog(int32_t result) override;

  private:
    void CreateControls(const DialogSpec& layout);
    void BindEvents();
    wxWindow* Find(ControlId id) const;
    // Paints what changed while a procedure runs, without taking user input.
    void PaintNow();
    void OnKey(wxKeyEvent& event);
    void OnSystemMenu(wxMouseEvent& event);

    DialogEvents* events_ = nullptr;
    std::map<ControlId, wxWindow*> controls_;
    std::map<ControlId, int32_t> progressLow_;
    std::vector<std::pair<uint32_t, std::wstring>> menu_;  // command 0: a separator
    std::optional<int32_t> pendingEnd_;
    std::unique_ptr<wxPowerResourceBlocker> keepSystem_;
    std::unique_ptr<wxPowerResourceBlocker> keepScreen_;
    wxLongLong lastPaint_ = 0;
    int32_t progressHighest_ = 0;
    int32_t progressChanges_ = 0;
    std::wstring openMessage_;
    std::wstring openQuestion_;
};

}  // namespace zorvan::gui
