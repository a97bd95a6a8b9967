#pragma once
// The dialog layer the main dialog's logic is written against: one dialog made from a
// template, its controls addressed by id. Two implementations exist: the wxWidgets one
// (the product) and an in-memory one that tests drive and inspect.
#include <cstdint>
#include <optional>
#include <string>

#include "gui/dialog/DialogTypes.h"

namespace zorvan::gui {

// What a control tells the dialog's logic.
enum class Notification { Clicked, TextChanged };

// Implemented by the dialog's logic; the host calls it from its event loop.
class DialogEvents {
  public:
    // The dialog window and its controls exist (the initialisation message).
    virtual void OnInitDialog() = 0;
    virtual void OnCommand(ControlId id, Notification what) = 0;
    // A system-menu command; false: the host does its default handling.
    virtual bool OnSysCommand(uint32_t command) = 0;
    // Enter: the default button, when it can be pressed.
    virtual void OnEnter() = 0;
    // Escape or the window's close box.
    virtual void OnCancel() = 0;

  protected:
    ~DialogEvents() = default;
};

class DialogHost {
  public:
    virtual ~DialogHost() = default;

    // --- text and state of a control ---
    virtual std::wstring GetText(ControlId id) const = 0;
    // Setting an edit box's text sends its change notification, as the user's typing does.
    virtual void SetText(ControlId id, const std::wstring& text) = 0;
    virtual void Show(ControlId id, bool shown) = 0;
    virtual bool IsShown(ControlId id) const = 0;
    virtual void Enable(ControlId id, bool enabled) = 0;
    virtual bool IsEnabled(ControlId id) const = 0;
    virtual void SetChecked(ControlId id, bool checked) = 0;
    virtual bool IsChecked(ControlId id) const = 0;

    // --- geometry, in pixels: controls in the dialog's client coordinates ---
    virtual Rect WindowRect(ControlId id) const = 0;
    virtual void Move(ControlId id, const Rect& rect) = 0;
    // The dialog window's height, caption and frame included.
    virtual int32_t DialogHeight() const = 0;
    virtual void SetDialogHeight(int32_t height) = 0;
    // The height the caption and the frame add to the client area.
    virtual int32_t FrameHeight() const = 0;
    // A rectangle in dialog units, in pixels of the dialog's font.
    virtual Rect DialogUnitsToPixels(const Rect& units) const = 0;

    // --- colours: nullopt restores the system colours ---
    virtual void SetBoxColours(ControlId id, std::optional<BoxColours> colours) = 0;
    // A static control's text colour; transparent: drawn on the dialog's background.
    virtual void SetStaticColours(ControlId id, ColorRef text, bool transparent) = 0;
    // Invalidates, erases and repaints the control now (also while a procedure runs).
    virtual void Redraw(ControlId id) = 0;
    // Invalidates (with erasing) the dialog's area under a control.
    virtual void InvalidateBehind(ControlId id) = 0;

    // --- edit-box selection and caret (character positions; -1: the end) ---
    virtual void SetSelection(ControlId id, int32_t from, int32_t to) = 0;
    virtual void ScrollCaret(ControlId id) = 0;
    // Replaces the selection with the text, without undo.
    virtual void ReplaceSelection(ControlId id, const std::wstring& text) = 0;

    // --- the progress bar ---
    virtual void SetProgressRange(ControlId id, int32_t low, int32_t high) = 0;
    virtual void SetProgressPosition(ControlId id, int32_t position) = 0;

    // --- modal boxes ---
    virtual void MessageBox(const std::wstring& text, const std::wstring& caption,
                            MessageIcon icon) = 0;
    // Yes/No question with the question icon; true for Yes.
    virtual bool AskYesNo(const std::wstring& text, const std::wstring& caption) = 0;
    // The open-file dialog; the chosen full path, or nullopt when cancelled.
    virtual std::optional<std::wstring> OpenFile(const OpenFileRequest& request) = 0;
    // Runs a template as a modal dialog whose only action is its default button.
    virtual void RunModal(const DialogSpec& layout) = 0;

    // --- the window ---
    virtual void AppendSystemMenuSeparator() = 0;
    virtual void AppendSystemMenuItem(uint32_t command, const std::wstring& text) = 0;
    // The window's large and small icon from an icon resource.
    virtual void SetIcon(int32_t resource) = 0;
    // Keeps the computer and the display awake until the program ends.
    virtual void KeepAwake() = 0;
    // Ends the modal dialog.
    virtual void EndDialog(int32_t result) = 0;
};

}  // namespace zorvan::gui
