// The ISP driver's mailbox as the core reads it over native AUX: the mailbox descriptor,
// the status area and its response rows, flash IDs, erase and program completions, flash
// reads, over a link whose chip answers with the fuzzer's bytes. The first byte sets the
// link (LinkTarget.h); the rest are the operations, their parameters and the chip's
// answers, in the order they are needed.
#include <cstddef>
#include <cstdint>

#include "fuzz/support/LinkTarget.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zorvan::fuzz::UseVirtualClock();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zorvan::fuzz::RunOnFuzzLink(data, size, zorvan::fuzz::OperationSet::kMailbox);
    return 0;
}
