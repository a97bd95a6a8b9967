#include <gtest/gtest.h>

#include "console/CommandLine.h"
#include "core/platform/Text.h"

namespace zorvan::console {
namespace {

TEST(CommandLine, MatchesOneWholeOptionInAnyCase) {
    struct Case {
        std::vector<std::wstring> args;
        ConsoleCommand command;
        const wchar_t* header;
    } cases[] = {
        {{L"ZorvanISP", L"-ChipInfo"}, CMD_CHIP_INFO, L"[Chip Information]\r\n"},
        {{L"ZorvanISP", L"-fullerase"}, CMD_FULL_ERASE, L"[SPI Flash: Full Erase]\r\n"},
        {{L"ZorvanISP", L"-VERIFYDEVCERT"}, CMD_VERIFY_DEV_CERT,
         L"[Verify Device Certificate]\r\n"},
        {{L"ZorvanISP", L"-WriteDevCert"}, CMD_WRITE_DEV_CERT, L"[Write Device Certificate]\r\n"},
        {{L"ZorvanISP", L"-writecmdb"}, CMD_WRITE_CMDB, L"[Write CMDB]\r\n"},
        {{L"ZorvanISP", L"-VerifyCmdb"}, CMD_VERIFY_CMDB, L"[Verify CMDB]\r\n"},
        {{L"ZorvanISP", L"-run"}, CMD_RUN, L""},
        {{L"ZorvanISP", L"-RUN"}, CMD_RUN, L""},
        // Partial, extended, undashed, empty, extra or missing arguments match nothing.
        {{L"ZorvanISP", L"-Runs"}, CMD_NONE, L""},
        {{L"ZorvanISP", L"Run"}, CMD_NONE, L""},
        {{L"ZorvanISP", L"-Chip"}, CMD_NONE, L""},
        {{L"ZorvanISP", L" -Run"}, CMD_NONE, L""},
        {{L"ZorvanISP", L""}, CMD_NONE, L""},
        {{L"ZorvanISP", L"-Run", L"-Run"}, CMD_NONE, L""},
        {{L"ZorvanISP"}, CMD_NONE, L""},
        {{}, CMD_NONE, L""},
    };
    for (const Case& c : cases) {
        const ParsedCommand parsed = ParseCommandLine(c.args);
        const std::string shown = c.args.size() > 1 ? ToUtf8(c.args[1]) : "(none)";
        EXPECT_EQ(parsed.command, c.command) << shown;
        EXPECT_EQ(parsed.header, c.header) << shown;
    }
}

TEST(CommandLine, UsageNamesTheProgramAsTyped) {
    const std::wstring usage = UsageText(L"..\\bin\\ZorvanISP.exe %s");
    EXPECT_TRUE(usage.starts_with(L"..\\bin\\ZorvanISP.exe %s [command-option]\r\n\r\nCommand"));
    EXPECT_TRUE(usage.ends_with(L"file.\r\n\r\nCommand-option is not case-sensitive.\r\n\r\n"));
    EXPECT_EQ(usage.find(L"-FullErase"), std::wstring::npos);  // works, but is not listed
}

}  // namespace
}  // namespace zorvan::console
