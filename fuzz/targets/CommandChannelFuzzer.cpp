// The command channel and everything that reads the chip's DDC/CI replies (reply lengths,
// checksums, null messages, acknowledgements, memory and register reads, the chip's
// identity, the OTP block, the ESM status, the driver and ESM downloads) over a link whose
// chip answers with the fuzzer's bytes. The first byte sets the link (LinkTarget.h); the
// rest are the operations, their parameters and the chip's answers, in the order they are
// needed.
#include <cstddef>
#include <cstdint>

#include "fuzz/support/LinkTarget.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zorvan::fuzz::UseVirtualClock();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zorvan::fuzz::RunOnFuzzLink(data, size, zorvan::fuzz::OperationSet::kCommandChannel);
    return 0;
}
