#include "gui/wx/WxDialog.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/gauge.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/time.h>
#include <wx/utils.h>

#include <sstream>

#include "gui/Resource.h"
#include "gui/wx/Artwork.h"

#ifdef ZORVAN_GTK_CSS
#include <gtk/gtk.h>
#endif

namespace zorvan::gui {
namespace {

wxColour FromColorRef(ColorRef c) {
    return wxColour(static_cast<unsigned char>(c & 0xFF),
                    static_cast<unsigned char>((c >> 8) & 0xFF),
                    static_cast<unsigned char>((c >> 16) & 0xFF));
}

// GTK text uses line feeds; the program's texts end their lines in CR LF.
wxString ForDisplay(const std::wstring& text) {
    wxString s(text);
    s.Replace("\r\n", "\n");
    return s;
}

// The Windows filter "A|*.a|B|*.b||" as wx takes it: without the closing bars.
wxString Wildcard(const std::wstring& filter) {
    wxString s(filter);
    while (s.EndsWith("|")) {
        s.RemoveLast();
    }
    return s;
}

#ifdef ZORVAN_GTK_CSS
// Our layouts give rows of 12 to 20 dialog units; GTK's default theme pads entries and
// buttons beyond that, so they are tightened to fit.
void CompactTheme() {
    static bool done = false;
    if (done) {
        return;
    }
    done = true;
    GtkCssProvider* css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(
        css,
        "entry, button, spinbutton { min-height: 0; padding-top: 0; padding-bottom: 0; }"
        "button { padding-left: 4px; padding-right: 4px; }"
        "textview, entry { font-size: inherit; }",
        -1, nullptr);
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(css);
}
#else
void CompactTheme() {}
#endif

// A label is never cut: the desktop's font may be wider than the one the template was laid
// out in, so a label grows to its text's width (a right-aligned one towards the left).
void FitLabel(wxControl& label) {
    label.InvalidateBestSize();
    const int needed = label.GetBestSize().x;
    wxRect r = label.GetRect();
    if (needed <= r.width || label.GetLabel().Contains("\n")) {
        return;
    }
    if (label.HasFlag(wxALIGN_RIGHT)) {
        r.x = std::max(0, r.GetRight() + 1 - needed);
    }
    r.width = needed;
    label.SetSize(r);
}

class AboutEvents final : public DialogEvents {
  public:
    explicit AboutEvents(DialogHost& host) : host_(host) {}
    void OnInitDialog() override {}
    void OnCommand(ControlId id, Notification what) override {
        if (id == IDC_ABOUT_OK && what == Notification::Clicked) {
            host_.EndDialog(1);
        }
    }
    bool OnSysCommand(uint32_t) override { return false; }
    void OnEnter() override { host_.EndDialog(1); }
    void OnCancel() override { host_.EndDialog(2); }

  private:
    DialogHost& host_;
};

}  // namespace

WxDialog::WxDialog(wxWindow* parent, const DialogSpec& layout)
    : wxDialog(parent, wxID_ANY, layout.caption, wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX) {
    CompactTheme();
    SetFont(wxFontInfo(9).Family(wxFONTFAMILY_SWISS));
    SetClientSize(ConvertDialogToPixels(wxSize(layout.width, layout.height)));
    CreateControls(layout);
    BindEvents();
}

WxDialog::~WxDialog() = default;

void WxDialog::CreateControls(const DialogSpec& layout) {
    for (const ControlSpec& s : layout.controls) {
        const Rect r = DialogUnitsToPixels(s.rect);
        const wxPoint pos(r.left, r.top);
        const wxSize size(r.width, r.height);
        const wxString text = ForDisplay(s.text);
        wxWindow* w = nullptr;
        switch (s.kind) {
            case ControlKind::Static:
                w = new wxStaticText(
                    this, s.id, text, pos, size,
                    wxST_NO_AUTORESIZE | ((s.style & kRightAlign) ? wxALIGN_RIGHT : wxALIGN_LEFT));
                break;
            case ControlKind::StaticBitmap:
                // A picture control takes its bitmap's size.
                w = new wxStaticBitmap(this, s.id, DebugModeBitmap(), pos,
                                       wxSize(kDebugPictureWidth, kDebugPictureHeight));
                break;
            case ControlKind::StaticIcon:
                w = new wxStaticBitmap(this, s.id, ApplicationBitmap(32), pos, wxSize(32, 32));
                break;
            case ControlKind::Edit: {
                long style = 0;
                if (s.style & kReadOnly)
                    style |= wxTE_READONLY;
                if (s.style & kMultiLine)
                    style |= wxTE_MULTILINE | wxVSCROLL;
                w = new wxTextCtrl(this, s.id, text, pos, size, style);
                break;
            }
            case ControlKind::Button:
            case ControlKind::DefaultButton: {
                auto* b = new wxButton(this, s.id, text, pos, size);
                if (s.kind == ControlKind::DefaultButton) {
                    b->SetDefault();
                }
                w = b;
                break;
            }
            case ControlKind::CheckBox:
                w = new wxCheckBox(this, s.id, text, pos, size);
                break;
            case ControlKind::GroupBox:
                w = new wxStaticBox(this, s.id, text, pos, size);
                break;
            case ControlKind::Progress:
                w = new wxGauge(this, s.id, 100, pos, size, wxGA_HORIZONTAL | wxGA_SMOOTH);
                break;
        }
        if (w == nullptr) {
            continue;
        }
        w->SetMinSize(wxSize(1, 1));
        if (s.kind == ControlKind::Static || s.kind == ControlKind::CheckBox) {
            FitLabel(*static_cast<wxControl*>(w));
        }
        w->Show((s.style & kHidden) == 0);
        w->Enable((s.style & kDisabled) == 0);
        controls_[s.id] = w;
    }
}

void WxDialog::BindEvents() {
    Bind(wxEVT_BUTTON, [this](wxCommandEvent& e) {
        if (events_ != nullptr)
            events_->OnCommand(e.GetId(), Notification::Clicked);
    });
    Bind(wxEVT_CHECKBOX, [this](wxCommandEvent& e) {
        if (events_ != nullptr)
            events_->OnCommand(e.GetId(), Notification::Clicked);
    });
    Bind(wxEVT_TEXT, [this](wxCommandEvent& e) {
        if (events_ != nullptr)
            events_->OnCommand(e.GetId(), Notification::TextChanged);
    });
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) {
        if (events_ != nullptr)
            events_->OnCancel();
    });
    Bind(wxEVT_CHAR_HOOK, &WxDialog::OnKey, this);
    Bind(wxEVT_RIGHT_UP, &WxDialog::OnSystemMenu, this);
}

int WxDialog::Run(DialogEvents& events) {
    events_ = &events;
    events_->OnInitDialog();
    if (pendingEnd_) {
        return *pendingEnd_;
    }
    CentreOnScreen();
    const int result = ShowModal();
    events_ = nullptr;
    return result;
}

void WxDialog::OnKey(wxKeyEvent& event) {
    if (events_ == nullptr) {
        event.Skip();
        return;
    }
    switch (event.GetKeyCode()) {
        case WXK_ESCAPE:
            events_->OnCancel();
            return;
        case WXK_RETURN:
        case WXK_NUMPAD_ENTER:
            events_->OnEnter();
            return;
        case WXK_F10:
            // The window's menu, where the desktop shows none.
            if (event.ShiftDown()) {
                wxMouseEvent none;
                OnSystemMenu(none);
                return;
            }
            break;
        default:
            break;
    }
    event.Skip();
}

// The "About" entry of the window's menu: a right click on the dialog (or Shift+F10).
void WxDialog::OnSystemMenu(wxMouseEvent&) {
    if (menu_.empty() || events_ == nullptr) {
        return;
    }
    wxMenu menu;
    for (const auto& [command, text] : menu_) {
        if (command == 0) {
            if (menu.GetMenuItemCount() > 0)
                menu.AppendSeparator();
        } else {
            menu.Append(static_cast<int>(command), text);
        }
    }
    const int chosen = GetPopupMenuSelectionFromUser(menu);
    if (chosen != wxID_NONE) {
        events_->OnSysCommand(static_cast<uint32_t>(chosen));
    }
}

wxWindow* WxDialog::Find(ControlId id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

std::wstring WxDialog::GetText(ControlId id) const {
    wxWindow* w = Find(id);
    if (auto* t = dynamic_cast<wxTextCtrl*>(w)) {
        wxString value = t->GetValue();
        if (t->IsMultiLine())
            value.Replace("\n", "\r\n");
        return value.ToStdWstring();
    }
    if (auto* s = dynamic_cast<wxStaticText*>(w)) {
        return s->GetLabelText().ToStdWstring();
    }
    return w != nullptr ? w->GetLabel().ToStdWstring() : std::wstring();
}

void WxDialog::SetText(ControlId id, const std::wstring& text) {
    wxWindow* w = Find(id);
    if (auto* t = dynamic_cast<wxTextCtrl*>(w)) {
        t->SetValue(ForDisplay(text));  // sends the change notification
    } else if (auto* s = dynamic_cast<wxStaticText*>(w)) {
        s->SetLabelText(ForDisplay(text));
        FitLabel(*s);
    } else if (w != nullptr) {
        w->SetLabel(ForDisplay(text));
    }
}

void WxDialog::Show(ControlId id, bool shown) {
    if (wxWindow* w = Find(id))
        w->Show(shown);
}
bool WxDialog::IsShown(ControlId id) const {
    wxWindow* w = Find(id);
    return w != nullptr && w->IsShown();
}
void WxDialog::Enable(ControlId id, bool enabled) {
    wxWindow* w = Find(id);
    if (w == nullptr)
        return;
    // A procedure disables its own button, which has the focus after a click. GTK leaves
    // the dialog without a focus then, and Enter and Escape would reach it no more (the
    // Windows dialog manager takes them whatever has the focus): the dialog takes it.
    const bool hadFocus = !enabled && wxWindow::FindFocus() == w;
    w->Enable(enabled);
    if (hadFocus)
        SetFocus();
}
bool WxDialog::IsEnabled(ControlId id) const {
    wxWindow* w = Find(id);
    return w != nullptr && w->IsThisEnabled();
}
void WxDialog::SetChecked(ControlId id, bool checked) {
    if (auto* c = dynamic_cast<wxCheckBox*>(Find(id)))
        c->SetValue(checked);
}
bool WxDialog::IsChecked(ControlId id) const {
    auto* c = dynamic_cast<wxCheckBox*>(Find(id));
    return c != nullptr && c->GetValue();
}

Rect WxDialog::WindowRect(ControlId id) const {
    wxWindow* w = Find(id);
    if (w == nullptr)
        return {};
    const wxRect r = w->GetRect();
    return {r.x, r.y, r.width, r.height};
}

void WxDialog::Move(ControlId id, const Rect& rect) {
    if (wxWindow* w = Find(id))
        w->SetSize(rect.left, rect.top, rect.width, rect.height);
}

int32_t WxDialog::DialogHeight() const {
    return GetSize().y;
}
void WxDialog::SetDialogHeight(int32_t height) {
    SetClientSize(GetClientSize().x, height - FrameHeight());
}
int32_t WxDialog::FrameHeight() const {
    return GetSize().y - GetClientSize().y;
}

Rect WxDialog::DialogUnitsToPixels(const Rect& u) const {
    const wxPoint p = ConvertDialogToPixels(wxPoint(u.left, u.top));
    const wxSize s = ConvertDialogToPixels(wxSize(u.width, u.height));
    return {p.x, p.y, s.x, s.y};
}

void WxDialog::SetBoxColours(ControlId id, std::optional<BoxColours> colours) {
    wxWindow* w = Find(id);
    if (w == nullptr)
        return;
    w->SetBackgroundColour(colours ? FromColorRef(colours->background) : wxNullColour);
    w->SetForegroundColour(colours ? FromColorRef(colours->text) : wxNullColour);
}

void WxDialog::SetStaticColours(ControlId id, ColorRef text, bool) {
    // GTK draws static text on its parent's background: transparent already.
    if (wxWindow* w = Find(id))
        w->SetForegroundColour(FromColorRef(text));
}

void WxDialog::Redraw(ControlId id) {
    if (wxWindow* w = Find(id)) {
        w->Refresh();
        w->Update();
    }
    PaintNow();
}

void WxDialog::PaintNow() {
    if (!IsModal())
        return;  // nothing is on screen yet
    const wxLongLong now = wxGetLocalTimeMillis();
    if (now - lastPaint_ < 40)
        return;
    lastPaint_ = now;
    wxSafeYield(this, true);
}

void WxDialog::InvalidateBehind(ControlId id) {
    if (wxWindow* w = Find(id))
        RefreshRect(w->GetRect(), true);
}

void WxDialog::SetSelection(ControlId id, int32_t from, int32_t to) {
    auto* t = dynamic_cast<wxTextCtrl*>(Find(id));
    if (t == nullptr)
        return;
    const long end = t->GetLastPosition();
    t->SetSelection(from < 0 ? end : from, to < 0 ? end : to);
}

void WxDialog::ScrollCaret(ControlId id) {
    if (auto* t = dynamic_cast<wxTextCtrl*>(Find(id)))
        t->ShowPosition(t->GetInsertionPoint());
}

void WxDialog::ReplaceSelection(ControlId id, const std::wstring& text) {
    auto* t = dynamic_cast<wxTextCtrl*>(Find(id));
    if (t == nullptr)
        return;
    long from = 0;
    long to = 0;
    t->GetSelection(&from, &to);
    if (from != to)
        t->Remove(from, to);
    t->SetInsertionPoint(from);
    t->WriteText(ForDisplay(text));
    t->ShowPosition(t->GetLastPosition());
    PaintNow();
}

void WxDialog::SetProgressRange(ControlId id, int32_t low, int32_t high) {
    if (auto* g = dynamic_cast<wxGauge*>(Find(id))) {
        progressLow_[id] = low;
        g->SetRange(std::max(1, high - low));
    }
}

void WxDialog::SetProgressPosition(ControlId id, int32_t position) {
    if (auto* g = dynamic_cast<wxGauge*>(Find(id))) {
        const int value = std::clamp(position - progressLow_[id], 0, g->GetRange());
        if (value != g->GetValue()) {
            ++progressChanges_;
            progressHighest_ = std::max(progressHighest_, value);
        }
        g->SetValue(value);
    }
}

void WxDialog::MessageBox(const std::wstring& text, const std::wstring& caption, MessageIcon icon) {
    const long style = wxOK | (icon == MessageIcon::Error ? wxICON_ERROR : wxICON_INFORMATION);
    openMessage_ = text;
    wxMessageBox(ForDisplay(text), caption, style, wxDialog::IsShown() ? this : nullptr);
    openMessage_.clear();
}

bool WxDialog::AskYesNo(const std::wstring& text, const std::wstring& caption) {
    openQuestion_ = text;
    const bool yes =
        wxMessageBox(ForDisplay(text), caption, wxYES_NO | wxICON_QUESTION, this) == wxYES;
    openQuestion_.clear();
    return yes;
}

std::optional<std::wstring> WxDialog::OpenFile(const OpenFileRequest& request) {
    long style = wxFD_OPEN;
    if (request.flags & kOfnFileMustExist)
        style |= wxFD_FILE_MUST_EXIST;
    const wxFileName initial(request.initialFile);
    wxFileDialog dialog(this, "Open", initial.GetPath(), initial.GetFullName(),
                        Wildcard(request.filter), style);
    if (dialog.ShowModal() != wxID_OK)
        return std::nullopt;
    return dialog.GetPath().ToStdWstring();
}

void WxDialog::RunModal(const DialogSpec& layout) {
    WxDialog box(this, layout);
    AboutEvents events(box);
    box.Run(events);
}

void WxDialog::AppendSystemMenuSeparator() {
    menu_.emplace_back(0, L"");
}
void WxDialog::AppendSystemMenuItem(uint32_t command, const std::wstring& text) {
    menu_.emplace_back(command, text);
}

void WxDialog::SetIcon(int32_t) {
    SetIcons(ApplicationIcons());
}

void WxDialog::KeepAwake() {
    keepSystem_ =
        std::make_unique<wxPowerResourceBlocker>(wxPOWER_RESOURCE_SYSTEM, "Firmware update");
    keepScreen_ =
        std::make_unique<wxPowerResourceBlocker>(wxPOWER_RESOURCE_SCREEN, "Firmware update");
}

void WxDialog::EndDialog(int32_t result) {
    if (IsModal()) {
        EndModal(result);
    } else {
        pendingEnd_ = result;
    }
}

std::wstring WxDialog::DescribeShownControls() const {
    std::wostringstream out;
    const wxSize client = GetClientSize();
    out << L"client " << client.x << L' ' << client.y << L'\n';
    for (const auto& [id, w] : controls_) {
        if (!w->IsShown())
            continue;
        const wxRect r = w->GetRect();
        std::wstring text = GetText(id);
        for (wchar_t& c : text) {
            if (c == L'\r' || c == L'\n')
                c = L' ';
        }
        out << id << L' ' << r.x << L' ' << r.y << L' ' << r.width << L' ' << r.height << L' '
            << (w->IsThisEnabled() ? L"enabled" : L"disabled") << L' ' << text << L'\n';
    }
    out << L"progress " << progressHighest_ << L' ' << progressChanges_ << L'\n';
    const wxPoint origin = ClientToScreen(wxPoint(0, 0));
    out << L"origin " << origin.x << L' ' << origin.y << L'\n';
    for (const auto& [kind, text] : {std::pair{L"message ", &openMessage_},
                                     std::pair{L"question ", &openQuestion_}}) {
        if (text->empty())
            continue;
        std::wstring line = *text;
        for (wchar_t& c : line) {
            if (c == L'\r' || c == L'\n')
                c = L' ';
        }
        out << kind << line << L'\n';
    }
    return out.str();
}

}  // namespace zorvan::gui
