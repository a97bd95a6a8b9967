// The four graphics backends (NVIDIA, AMD, Intel LS-PCON, Intel) through the simulated
// vendor drivers, with the core on top: once the adapter selection has found the virtual
// chip, the chip's side of the AUX channel answers with the fuzzer's bytes, so that each
// backend's I2cRead and AuxRead (their chunking, deferrals, refusals, silence, short reads)
// and every reader above them see whatever a sink could send. The first byte picks the
// vendor; the rest are the operations, their parameters and the answers (FuzzSink.h).
#include <cstddef>
#include <cstdint>

#include "fuzz/support/LinkTarget.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zorvan::fuzz::UseVirtualClock();
    zorvan::fuzz::RunningChip();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zorvan::fuzz::RunBehindFuzzedSink(data, size);
    return 0;
}
