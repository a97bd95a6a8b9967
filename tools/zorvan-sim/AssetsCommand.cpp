// `assets DIR [--force]`: a demo folder for the programs on the virtual chip.
#include "core/platform/Text.h"
#include "sim/demo/DemoAssets.h"
#include "tools/zorvan-sim/SimTool.h"

namespace zorvan::simtool {

int RunAssets(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    // DIR and, in either order, --force.
    std::vector<std::string> folders;
    bool force = false;
    for (const std::string& word : args) {
        if (word == "--force" && !force) {
            force = true;
        } else if (word.rfind("--", 0) != 0) {
            folders.push_back(word);
        } else {
            folders.clear();
            break;
        }
    }
    if (folders.size() != 1) {
        err << UsageText();
        return SIMTOOL_EXIT_BAD_USAGE;
    }
    std::vector<std::wstring> written;
    std::wstring error;
    const bool ok = sim::WriteDemoAssets(FromUtf8(folders[0]), written, error, force);
    for (const std::wstring& name : written) {
        out << "wrote " << ToUtf8(name) << "\n";
    }
    if (!ok) {
        err << "zorvan-sim: " << ToUtf8(error) << "\n";
        return SIMTOOL_EXIT_FAILED;
    }
    return SIMTOOL_EXIT_OK;
}

}  // namespace zorvan::simtool
