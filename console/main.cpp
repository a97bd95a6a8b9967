#include <string>
#include <vector>

#include "console/ConsoleApp.h"
#include "core/platform/Text.h"

int main(int argc, char** argv) {
    std::vector<std::wstring> args;
    for (int i = 0; i < argc; ++i) {
        args.push_back(zorvan::FromUtf8(argv[i]));
    }
    return zorvan::console::RunConsoleApp(args);
}
