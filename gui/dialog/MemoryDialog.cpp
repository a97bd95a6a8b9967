#include "gui/dialog/MemoryDialog.h"

#include <algorithm>

namespace zorvan::gui {
namespace {

// The rounding division of dialog-unit conversion: halves go away from zero.
int32_t MulDiv(int32_t value, int32_t numerator, int32_t denominator) {
    const int64_t product = int64_t{value} * numerator;
    const int64_t half = denominator / 2;
    const int64_t rounded =
        product >= 0 ? (product + half) / denominator : -((-product + half) / denominator);
    return static_cast<int32_t>(rounded);
}

bool IsEdit(const MemoryControl& c) {
    return c.layout.kind == ControlKind::Edit;
}

int32_t Length(const std::wstring& text) {
    return static_cast<int32_t>(text.size());
}

// A selection end as an index into the text: -1 and anything past the end mean the end.
int32_t Clamp(int32_t position, const std::wstring& text) {
    return (position < 0 || position > Length(text)) ? Length(text) : position;
}

}  // namespace

MemoryDialog::MemoryDialog(const DialogSpec& layout, MemoryMetrics metrics)
    : spec_(layout), metrics_(metrics) {}

void MemoryDialog::Start(DialogEvents& events) {
    events_ = &events;
    for (const ControlSpec& s : spec_.controls) {
        MemoryControl c;
        c.layout = s;
        c.text = s.text;
        c.shown = (s.style & kHidden) == 0;
        c.enabled = (s.style & kDisabled) == 0;
        c.rect = DialogUnitsToPixels(s.rect);
        controls_[s.id] = c;
    }
    const Rect client = DialogUnitsToPixels({0, 0, spec_.width, spec_.height});
    height_ = client.height + metrics_.captionHeight + 2 * metrics_.frame;
    initialHeight_ = height_;
    events_->OnInitDialog();
}

bool MemoryDialog::Click(ControlId id) {
    const MemoryControl* c = Find(id);
    if (c == nullptr || !c->shown || !c->enabled) {
        return false;
    }
    if (c->layout.kind == ControlKind::CheckBox) {
        At(id).checked = !c->checked;
    }
    events_->OnCommand(id, Notification::Clicked);
    return true;
}

const MemoryControl& MemoryDialog::Control(ControlId id) const {
    static const MemoryControl none;
    const MemoryControl* c = Find(id);
    return c != nullptr ? *c : none;
}

MemoryControl& MemoryDialog::At(ControlId id) {
    static MemoryControl scratch;  // operations on a missing control change nothing
    auto it = controls_.find(id);
    if (it == controls_.end()) {
        scratch = MemoryControl();
        return scratch;
    }
    return it->second;
}

const MemoryControl* MemoryDialog::Find(ControlId id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : &it->second;
}

std::wstring MemoryDialog::GetText(ControlId id) const {
    return Control(id).text;
}

void MemoryDialog::SetText(ControlId id, const std::wstring& text) {
    if (Find(id) == nullptr) {
        return;
    }
    MemoryControl& c = At(id);
    c.text = text;
    c.selectionFrom = 0;
    c.selectionTo = 0;
    c.caretScrolled = false;
    if (IsEdit(c) && events_ != nullptr) {
        events_->OnCommand(id, Notification::TextChanged);
    }
}

void MemoryDialog::Show(ControlId id, bool shown) {
    At(id).shown = shown;
}
bool MemoryDialog::IsShown(ControlId id) const {
    return Control(id).shown;
}
void MemoryDialog::Enable(ControlId id, bool enabled) {
    At(id).enabled = enabled;
}
bool MemoryDialog::IsEnabled(ControlId id) const {
    return Control(id).enabled;
}
void MemoryDialog::SetChecked(ControlId id, bool checked) {
    At(id).checked = checked;
}
bool MemoryDialog::IsChecked(ControlId id) const {
    return Control(id).checked;
}
Rect MemoryDialog::WindowRect(ControlId id) const {
    return Control(id).rect;
}
void MemoryDialog::Move(ControlId id, const Rect& rect) {
    At(id).rect = rect;
}

Rect MemoryDialog::DialogUnitsToPixels(const Rect& u) const {
    return {MulDiv(u.left, metrics_.baseUnitX, 4), MulDiv(u.top, metrics_.baseUnitY, 8),
            MulDiv(u.width, metrics_.baseUnitX, 4), MulDiv(u.height, metrics_.baseUnitY, 8)};
}

void MemoryDialog::SetBoxColours(ControlId id, std::optional<BoxColours> colours) {
    At(id).boxColours = colours;
}

void MemoryDialog::SetStaticColours(ControlId id, ColorRef text, bool transparent) {
    MemoryControl& c = At(id);
    c.staticText = text;
    c.transparent = transparent;
}

void MemoryDialog::Redraw(ControlId id) {
    ++At(id).redraws;
}
void MemoryDialog::InvalidateBehind(ControlId id) {
    ++At(id).invalidatedBehind;
}

void MemoryDialog::SetSelection(ControlId id, int32_t from, int32_t to) {
    MemoryControl& c = At(id);
    c.selectionFrom = Clamp(from, c.text);
    c.selectionTo = Clamp(to, c.text);
}

void MemoryDialog::ScrollCaret(ControlId id) {
    At(id).caretScrolled = true;
}

void MemoryDialog::ReplaceSelection(ControlId id, const std::wstring& text) {
    MemoryControl& c = At(id);
    const int32_t from = std::min(c.selectionFrom, c.selectionTo);
    const int32_t to = std::max(c.selectionFrom, c.selectionTo);
    c.text.replace(static_cast<size_t>(from), static_cast<size_t>(to - from), text);
    c.selectionFrom = from + Length(text);
    c.selectionTo = c.selectionFrom;
}

void MemoryDialog::SetProgressRange(ControlId id, int32_t low, int32_t high) {
    MemoryControl& c = At(id);
    c.progressLow = low;
    c.progressHigh = high;
}

void MemoryDialog::SetProgressPosition(ControlId id, int32_t position) {
    MemoryControl& c = At(id);
    c.progressPosition =
        std::clamp(position, c.progressLow, std::max(c.progressLow, c.progressHigh));
}

void MemoryDialog::MessageBox(const std::wstring& text, const std::wstring& caption,
                              MessageIcon icon) {
    messages_.push_back({text, caption, icon});
}

bool MemoryDialog::AskYesNo(const std::wstring& text, const std::wstring& caption) {
    questions_.push_back({text, caption, MessageIcon::Question});
    if (yesNoAnswers.empty()) {
        return false;
    }
    const bool answer = yesNoAnswers.front();
    yesNoAnswers.pop_front();
    return answer;
}

std::optional<std::wstring> MemoryDialog::OpenFile(const OpenFileRequest& request) {
    fileRequests_.push_back(request);
    if (fileAnswers.empty()) {
        return std::nullopt;
    }
    std::optional<std::wstring> answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}

void MemoryDialog::RunModal(const DialogSpec& layout) {
    modalRuns_.push_back(layout.templateId);
}

}  // namespace zorvan::gui
