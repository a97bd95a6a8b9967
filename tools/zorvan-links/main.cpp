#include <iostream>
#include <string>
#include <vector>

#include "tools/zorvan-links/LinksTool.h"

int main(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.emplace_back(argv[i]);
    }
    const int status = zorvan::linkstool::RunLinksTool(args, std::cout, std::cerr);
    std::cout.flush();
    return status;
}
