#pragma once
// Plain data of the dialog layer: rectangles, colours, control kinds and dialog templates.
// Colours are COLORREF values (0x00BBGGRR), as the dialog's colour rules are written.
#include <cstdint>
#include <string>
#include <vector>

namespace zorvan::gui {

using ControlId = int32_t;
using ColorRef = uint32_t;

inline constexpr ColorRef kRed = 0x0000FF;
inline constexpr ColorRef kWhite = 0xFFFFFF;
inline constexpr ColorRef kBlack = 0x000000;

struct Rect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;

    int32_t Right() const { return left + width; }
    int32_t Bottom() const { return top + height; }
    bool Overlaps(const Rect& o) const {
        return left < o.Right() && o.left < Right() && top < o.Bottom() && o.top < Bottom();
    }
    bool operator==(const Rect&) const = default;
};

// Text and background of a box that uses colours of its own.
struct BoxColours {
    ColorRef text = kBlack;
    ColorRef background = kWhite;
    bool operator==(const BoxColours&) const = default;
};

enum class ControlKind {
    Static,
    StaticBitmap,
    StaticIcon,
    Edit,
    Button,
    DefaultButton,
    CheckBox,
    GroupBox,
    Progress,
};

// Style bits of a template entry.
enum ControlStyle : uint32_t {
    kHidden = 1u << 0,
    kDisabled = 1u << 1,
    kReadOnly = 1u << 2,
    kMultiLine = 1u << 3,  // with a vertical scroll bar and automatic vertical scrolling
    kRightAlign = 1u << 4,
    kAutoHScroll = 1u << 5,
};

struct ControlSpec {
    ControlId id = 0;
    ControlKind kind = ControlKind::Static;
    std::wstring text;
    uint32_t style = 0;
    Rect rect;             // dialog units
    int32_t resource = 0;  // bitmap or icon resource of a picture control
};

struct DialogSpec {
    int32_t templateId = 0;
    std::wstring caption;
    std::wstring fontFace;
    int32_t fontPoints = 0;
    int32_t width = 0;  // client size, dialog units
    int32_t height = 0;
    std::vector<ControlSpec> controls;
};

enum class MessageIcon { Information, Error, Question };

// What an open-file dialog is asked for.
struct OpenFileRequest {
    std::wstring defaultExtension;
    std::wstring initialFile;
    uint32_t flags = 0;
    // "Description|pattern|...||", as the Windows file dialog filters are written.
    std::wstring filter;
    bool explorerStyle = true;
};

inline constexpr uint32_t kOfnFileMustExist = 0x1000;
inline constexpr uint32_t kOfnShareAware = 0x4000;

}  // namespace zorvan::gui
