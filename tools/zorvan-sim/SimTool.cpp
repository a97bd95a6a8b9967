#include "tools/zorvan-sim/SimTool.h"

#include <string_view>

#include "tools/depot/DepotTool.h"

namespace zorvan::simtool {
namespace {

std::vector<std::string> Rest(const std::vector<std::string>& args, size_t from) {
    return from < args.size()
               ? std::vector<std::string>(args.begin() + static_cast<long>(from), args.end())
               : std::vector<std::string>();
}

int RunDepot(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (!args.empty() && args[0] == "make") {
        return depot::RunDepotMake(Rest(args, 1), out, err);
    }
    if (!args.empty() && args[0] == "select") {
        return depot::RunDepotSelect(Rest(args, 1), out, err);
    }
    err << UsageText();
    return SIMTOOL_EXIT_BAD_USAGE;
}

}  // namespace

const char* UsageText() {
    return "usage:\n"
           "  zorvan-sim init STATE [--chip KQ1100|KQ1150|TALVOR|VIREEN|LUMOX] [--serial N] "
           "[--firmware IMAGE]\n"
           "                  [--otp intact|bad-crc|bad-content]\n"
           "  zorvan-sim info STATE\n"
           "  zorvan-sim dump-flash STATE OUT\n"
           "  zorvan-sim power-cycle STATE\n"
           "  zorvan-sim assets DIR [--force]\n"
           "  zorvan-sim depot make OUT --records FILE [--password PW]\n"
           "  zorvan-sim depot select IN --identity HEX [--password PW]\n";
}

int RunSimTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    using Command = int (*)(const std::vector<std::string>&, std::ostream&, std::ostream&);
    struct Entry {
        std::string_view name;
        Command run;
    };
    static constexpr Entry kCommands[] = {
        {"init", RunInit},
        {"info", RunInfo},
        {"dump-flash", RunDumpFlash},
        {"power-cycle", RunPowerCycle},
        {"assets", RunAssets},
        {"depot", RunDepot},
    };
    if (!args.empty()) {
        for (const Entry& e : kCommands) {
            if (args[0] == e.name) {
                return e.run(Rest(args, 1), out, err);
            }
        }
        err << "zorvan-sim: unknown command \"" << args[0] << "\"\n";
    }
    err << UsageText();
    return SIMTOOL_EXIT_BAD_USAGE;
}

}  // namespace zorvan::simtool
