#include "sim/demo/DemoEsm.h"

#include "sim/chip/secure/EsmImage.h"

namespace zorvan::sim {

std::vector<uint8_t> MakeDemoEsmPayload() {
    return BuildEsmPayload(kDemoEsmPayloadSize);
}

std::vector<uint8_t> MakeDemoEsmFile() {
    return BuildEsmFile(MakeDemoEsmPayload());
}

std::vector<uint8_t> MakeBrokenEsmFile() {
    std::vector<uint8_t> payload = MakeDemoEsmPayload();
    payload[kDemoEsmPayloadSize - 100] ^= 0x08;
    return BuildEsmFile(payload);
}

}  // namespace zorvan::sim
