#pragma once
// What a console procedure works with: the one core object, the loaded settings and the
// one message text that each step fills and the front end prints and logs.
#include <string>

#include "core/config/IspConfig.h"

namespace zorvan {
class ZorvanControl;
}

namespace zorvan::console {

struct ConsoleSession {
    ZorvanControl& control;
    IspConfig& config;
    std::wstring message;
};

}  // namespace zorvan::console
