#pragma once
// The in-memory dialog: every control's state is kept in plain records that tests read,
// and modal boxes and file dialogs are answered from a script the test sets up.
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "gui/dialog/DialogHost.h"

namespace zorvan::gui {

struct MemoryControl {
    ControlSpec layout;
    std::wstring text;
    bool shown = true;
    bool enabled = true;
    bool checked = false;
    Rect rect;  // pixels, client coordinates
    std::optional<BoxColours> boxColours;
    std::optional<ColorRef> staticText;
    bool transparent = false;
    int32_t selectionFrom = 0;
    int32_t selectionTo = 0;
    bool caretScrolled = false;  // the caret was scrolled into view since the last text change
    int32_t progressLow = 0;
    int32_t progressHigh = 100;
    int32_t progressPosition = 0;
    int32_t redraws = 0;
    int32_t invalidatedBehind = 0;
};

struct ShownMessage {
    std::wstring text;
    std::wstring caption;
    MessageIcon icon = MessageIcon::Information;
    bool operator==(const ShownMessage&) const = default;
};

// Font metrics of "MS Shell Dlg" 8 point at 96 dots per inch, and a Windows frame.
struct MemoryMetrics {
    int32_t baseUnitX = 6;
    int32_t baseUnitY = 13;
    int32_t captionHeight = 23;
    int32_t frame = 3;
};

class MemoryDialog final : public DialogHost {
  public:
    explicit MemoryDialog(const DialogSpec& layout, MemoryMetrics metrics = {});

    // Creates the controls and sends the initialisation message.
    void Start(DialogEvents& events);

    // --- what a user does ---
    // A click on a shown, enabled control (an auto check box toggles first); false when the
    // control could not be clicked.
    bool Click(ControlId id);
    void Type(ControlId id, const std::wstring& text) { SetText(id, text); }
    void PressEnter() { events_->OnEnter(); }
    void PressEscape() { events_->OnCancel(); }
    bool SystemCommand(uint32_t command) { return events_->OnSysCommand(command); }

    // --- the script: answers taken in order; an empty queue answers No / cancel ---
    std::deque<bool> yesNoAnswers;
    std::deque<std::optional<std::wstring>> fileAnswers;

    // --- what was shown ---
    const MemoryControl& Control(ControlId id) const;
    const std::vector<ShownMessage>& Messages() const { return messages_; }
    const std::vector<ShownMessage>& Questions() const { return questions_; }
    const std::vector<OpenFileRequest>& FileRequests() const { return fileRequests_; }
    const std::vector<int32_t>& ModalRuns() const { return modalRuns_; }
    const std::vector<std::pair<uint32_t, std::wstring>>& SystemMenu() const { return menu_; }
    int32_t Icon() const { return icon_; }
    bool KeptAwake() const { return keptAwake_; }
    std::optional<int32_t> EndResult() const { return endResult_; }
    int32_t InitialHeight() const { return initialHeight_; }

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
    int32_t DialogHeight() const override { return height_; }
    void SetDialogHeight(int32_t height) override { height_ = height; }
    int32_t FrameHeight() const override { return metrics_.captionHeight + 2 * metrics_.frame; }
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
    void AppendSystemMenuSeparator() override { menu_.emplace_back(0, L""); }
    void AppendSystemMenuItem(uint32_t command, const std::wstring& text) override {
        menu_.emplace_back(command, text);
    }
    void SetIcon(int32_t resource) override { icon_ = resource; }
    void KeepAwake() override { keptAwake_ = true; }
    void EndDialog(int32_t result) override { endResult_ = result; }

  private:
    MemoryControl& At(ControlId id);
    const MemoryControl* Find(ControlId id) const;

    DialogSpec spec_;
    MemoryMetrics metrics_;
    DialogEvents* events_ = nullptr;
    std::map<ControlId, MemoryControl> controls_;
    int32_t height_ = 0;
    int32_t initialHeight_ = 0;
    std::vector<ShownMessage> messages_;
    std::vector<ShownMessage> questions_;
    std::vector<OpenFileRequest> fileRequests_;
    std::vector<int32_t> modalRuns_;
    std::vector<std::pair<uint32_t, std::wstring>> menu_;
    int32_t icon_ = 0;
    bool keptAwake_ = false;
    std::optional<int32_t> endResult_;
};

}  // namespace zorvan::gui
