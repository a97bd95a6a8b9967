#include "core/control/VersionText.h"

#include "core/platform/Text.h"

namespace zorvan {

std::wstring FormatVersion(ChipType type, uint32_t version) {
    if (version == 0) {
        return std::wstring();
    }
    const int major = static_cast<int>((version >> 8) & 0xFF);
    const int minor = static_cast<int>(version & 0xFF);
    const int build = static_cast<int>((version >> 16) & 0xFF);
    if (type == CHIP_TALVOR) {
        return Format(L"v%d.%d.%d", static_cast<int>((version >> 14) & 0x3),
                      static_cast<int>((version >> 5) & 0x1FF), static_cast<int>(version & 0x1F));
    }
    if (type == CHIP_LUMOX) {
        return Format(L"v%d.%02X", major, minor);
    }
    if ((type == CHIP_VEXA1100 || type == CHIP_VEXA1150) && build != 0) {
        return Format(L"v%d.%02d.%d", major, minor, build);
    }
    return Format(L"v%d.%02d", major, minor);
}

void ChipFamilyName(ChipType type, std::wstring& text) {
    const wchar_t* prefix = nullptr;
    switch (type) {
        case CHIP_VEXA1100:
            prefix = L"Vexa1100 ";
            break;
        case CHIP_VEXA1150:
            prefix = L"Vexa1150 ";
            break;
        case CHIP_ZORVAN_IROM:
            prefix = L"Zorvan iROM ";
            break;
        case CHIP_TALVOR:
            prefix = L"Talvor ";
            break;
        case CHIP_VIREEN:
            prefix = L"Vireen ";
            break;
        case CHIP_LUMOX:
            prefix = L"Lumox ";
            break;
        default:
            return;
    }
    text.insert(0, prefix);
}

}  // namespace zorvan
