#pragma once
// The one command-line option of the console program and its usage text.
#include <string>
#include <vector>

#include "console/ConsoleCommand.h"

namespace zorvan::console {

struct ParsedCommand {
    ConsoleCommand command = CMD_NONE;
    std::wstring header;  // printed and logged; empty for -Run and for no option
};

// args[0] is the program name. Exactly one further argument is matched, whole and in any
// case, against the options; anything else gives CMD_NONE.
ParsedCommand ParseCommandLine(const std::vector<std::wstring>& args);

// The usage text; its first line names the program as it was typed.
std::wstring UsageText(const std::wstring& programName);

}  // namespace zorvan::console
