#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/Dispatch.h"
#include "core/control/ZorvanControl.h"

namespace zorvan::console {
namespace {

// Procedures that only record that they ran.
std::vector<std::string> g_calls;
bool g_versionShown = true;

bool ShowVersion(ConsoleSession&) {
    g_calls.push_back("version");
    return g_versionShown;
}
template <const char* Name>
bool Record(ConsoleSession&) {
    g_calls.push_back(Name);
    return true;
}
constexpr char kIsp[] = "isp";
constexpr char kSecure[] = "secure";
constexpr char kWriteCert[] = "write-cert";
constexpr char kWriteCmdb[] = "write-cmdb";
constexpr char kVerifyCmdb[] = "verify-cmdb";
constexpr char kChipInfo[] = "chip-info";
constexpr char kErase[] = "erase";
constexpr char kVerifyCert[] = "verify-cert";

const ProcedureTable kRecorders{
    ShowVersion,        Record<kIsp>,        Record<kSecure>,
    Record<kWriteCert>, Record<kWriteCmdb>,  Record<kVerifyCmdb>,
    Record<kChipInfo>,  Record<kErase>,      Record<kVerifyCert>,
};

TEST(Dispatch, RunsTheProcedureOfEachCommandAfterTheVersionWhereNeeded) {
    struct Case {
        ConsoleCommand command;
        bool versionShown;
        std::vector<std::string> calls;
    } cases[] = {
        {CMD_RUN_ISP, true, {"version", "isp"}},
        {CMD_RUN_SECURE_ISP, true, {"version", "secure"}},
        {CMD_WRITE_DEV_CERT, true, {"version", "write-cert"}},
        {CMD_WRITE_CMDB, true, {"version", "write-cmdb"}},
        {CMD_VERIFY_CMDB, true, {"version", "verify-cmdb"}},
        {CMD_CHIP_INFO, true, {"version", "chip-info"}},
        {CMD_FULL_ERASE, true, {"erase"}},
        {CMD_VERIFY_DEV_CERT, true, {"verify-cert"}},
        // No chip identified: the command does not run, except the two that skip the step.
        {CMD_RUN_ISP, false, {"version"}},
        {CMD_CHIP_INFO, false, {"version"}},
        {CMD_FULL_ERASE, false, {"erase"}},
        {CMD_VERIFY_DEV_CERT, false, {"verify-cert"}},
        {CMD_NONE, true, {}},
        {CMD_RUN, true, {}},
        {42, true, {}},
    };
    for (const Case& c : cases) {
        ZorvanControl control;
        IspConfig config;
        ConsoleSession session{control, config, std::wstring()};
        g_calls.clear();
        g_versionShown = c.versionShown;
        DispatchCommand(c.command, session, kRecorders);
        EXPECT_EQ(g_calls, c.calls) << "command " << c.command;
    }
}

TEST(Dispatch, PlainRunSwitchesSecureIspOffAndSecureRunKeepsIt) {
    for (ConsoleCommand command : {CMD_RUN_ISP, CMD_RUN_SECURE_ISP}) {
        ZorvanControl control;
        IspConfig config;
        control.secureIsp = 1;
        config.secureIsp = true;
        ConsoleSession session{control, config, std::wstring()};
        g_versionShown = true;
        DispatchCommand(command, session, kRecorders);
        const bool expected = command == CMD_RUN_SECURE_ISP;
        EXPECT_EQ(control.secureIsp, expected ? 1 : 0) << command;
        EXPECT_EQ(config.secureIsp, expected) << command;
    }
}

}  // namespace
}  // namespace zorvan::console
