#include "core/control/ZorvanControl.h"
#include "core/platform/ConsoleOut.h"

int main() {
    zorvan::ZorvanControl control;
    zorvan::platform::Print(L"Zorvan ISP Tool v2.1f\r\n");
    return 0;
}
