#include "console/ConsoleText.h"

#include "core/config/Log.h"
#include "core/platform/ConsoleOut.h"

namespace zorvan::console {
namespace {

void PrintInColour(uint16_t attribute, const std::wstring& text) {
    platform::SetTextAttribute(attribute);
    platform::Print(text);
    platform::SetTextAttribute(platform::kAttrNormal);
}

}  // namespace

void PrintAndLog(const std::wstring& text) {
    platform::Print(text);
    AppendLog(text);
}

void PrintWarning(const std::wstring& text) { PrintInColour(platform::kAttrWarning, text); }

void PrintSuccess(const std::wstring& text) { PrintInColour(platform::kAttrSuccess, text); }

}  // namespace zorvan::console
