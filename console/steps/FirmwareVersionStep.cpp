#include "console/ConsoleText.h"
#include "console/FailedBanner.h"
#include "console/Procedures.h"
#include "console/steps/IspSteps.h"
#include "core/config/Log.h"
#include "core/control/ZorvanControl.h"
#include "core/platform/Text.h"

namespace zorvan::console {

bool ShowCurrentFirmwareVersion(ConsoleSession& session) {
    ZorvanControl& control = session.control;
    ChipType type = control.GetChipType();
    if (type == CHIP_NONE) {
        const std::wstring message = L"Reset Zorvan failed!\r\n";
        PrintFailedBanner(message);
        AppendLog(message);
        return false;
    }
    std::wstring description;
    control.GetChipInfo(type, description);
    PrintAndLog(Format(L"Current on-board F/W Version: %s\r\n", description.c_str()));
    return true;
}

}  // namespace zorvan::console
