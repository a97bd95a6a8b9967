#include "console/FailedBanner.h"

#include "core/platform/ConsoleOut.h"

namespace zorvan::console {

void PrintFailedBanner(const std::wstring& message) {
    static constexpr const wchar_t* kLines[] = {
        L"#############################################################",
        L"#                                                           #",
        L"#    ########    ###    #### ##       ######## ########     #",
        L"#    ##         ## ##    ##  ##       ##       ##     ##    #",
        L"#    ##        ##   ##   ##  ##       ##       ##     ##    #",
        L"#    ######   ##     ##  ##  ##       ######   ##     ##    #",
        L"#    ##       #########  ##  ##       ##       ##     ##    #",
        L"#    ##       ##     ##  ##  ##       ##       ##     ##    #",
        L"#    ##       ##     ## #### ######## ######## ########     #",
        L"#                                                           #",
        L"#############################################################",
    };
    platform::SetTextAttribute(platform::kAttrBanner);
    std::wstring art;
    for (const wchar_t* line : kLines) {
        art += line;
        art += L"\r\n";
    }
    platform::Print(art);
    platform::SetTextAttribute(platform::kAttrWarning);
    platform::Print(message);
    platform::SetTextAttribute(platform::kAttrNormal);
}

}  // namespace zorvan::console
