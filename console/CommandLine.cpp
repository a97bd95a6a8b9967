#include "console/CommandLine.h"

#include "core/platform/Text.h"

namespace zorvan::console {
namespace {

struct OptionEntry {
    const wchar_t* option;
    ConsoleCommand command;
    const wchar_t* header;
};

// Tried in this order; -FullErase works but is not listed in the usage text.
constexpr OptionEntry kOptions[] = {
    {L"-ChipInfo", CMD_CHIP_INFO, L"[Chip Information]\r\n"},
    {L"-FullErase", CMD_FULL_ERASE, L"[SPI Flash: Full Erase]\r\n"},
    {L"-VerifyDevCert", CMD_VERIFY_DEV_CERT, L"[Verify Device Certificate]\r\n"},
    {L"-WriteDevCert", CMD_WRITE_DEV_CERT, L"[Write Device Certificate]\r\n"},
    {L"-WriteCmdb", CMD_WRITE_CMDB, L"[Write CMDB]\r\n"},
    {L"-VerifyCmdb", CMD_VERIFY_CMDB, L"[Verify CMDB]\r\n"},
    {L"-Run", CMD_RUN, L""},
};

}  // namespace

ParsedCommand ParseCommandLine(const std::vector<std::wstring>& args) {
    ParsedCommand parsed;
    if (args.size() != 2) {
        return parsed;
    }
    for (const OptionEntry& entry : kOptions) {
        if (EqualsNoCase(args[1], entry.option)) {
            parsed.command = entry.command;
            parsed.header = entry.header;
            break;
        }
    }
    return parsed;
}

std::wstring UsageText(const std::wstring& programName) {
    return Format(L"%s [command-option]\r\n\r\n", programName.c_str()) +
           L"Command-option:\r\n"
           L"  -ChipInfo         Display chip version, F/W version and chip serial number.\r\n"
           L"  -VerifyDevCert    Verify \"Device Certificate\" key data in SPI flash.\r\n"
           L"  -WriteDevCert     Write \"Device Certificate\" key data into SPI flash only.\r\n"
           L"  -WriteCmdb        Write \"Customized Data Block\" data into SPI flash only.\r\n"
           L"  -VerifyCmdb       Verify \"Customized Data Block\" data into SPI flash only.\r\n"
           L"  -Run              Run ISP process based on \"config.ini\" file.\r\n\r\n"
           L"Command-option is not case-sensitive.\r\n\r\n";
}

}  // namespace zorvan::console
