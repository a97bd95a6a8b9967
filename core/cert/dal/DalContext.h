#pragma once
// The library's context: the checked server table, and the flush machinery (mutex, flush
// thread, pending objects and the queue of consumption reports they turn into).
#include <array>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "core/cert/dal/Dal.h"
#include "core/cert/dal/SecretBytes.h"
#include "core/cert/dal/ServerEntry.h"

namespace zorvan::dal {

inline constexpr size_t DAL_REPORT_SIZE = 20;
using ConsumptionReport = std::array<uint8_t, DAL_REPORT_SIZE>;

// Status words of a report: the first pending list of a product type, and the second.
inline constexpr int32_t DAL_REPORT_STATUS_FIRST_LIST = -2;
inline constexpr int32_t DAL_REPORT_STATUS_SECOND_LIST = -1;

struct PendingObject {
    uint64_t id = 0;
    SecretBytes bytes;
};

// The objects of one product type handed out and not yet reported, in two lists.
struct PendingObjects {
    uint32_t productType = 0;
    std::vector<PendingObject> lists[2];
};

// The id as two words (high first), the status, the time in seconds and 0, all big-endian.
ConsumptionReport MakeConsumptionReport(uint64_t id, int32_t status, uint32_t timeSeconds);

}  // namespace zorvan::dal

struct DalContext {
    uint32_t state = 1;
    int socket = -1;  // no connection is ever opened
    std::vector<zorvan::dal::ServerAddress> servers;

    // Guards everything below.
    std::mutex mutex;
    bool flushRunning = false;
    std::thread flushThread;  // the last asynchronous flush; joined before it is replaced
    std::vector<zorvan::dal::PendingObjects> pending;
    std::deque<zorvan::dal::ConsumptionReport> reports;
};

namespace zorvan::dal {

// Hands the queued reports on (this version has no server to take them, so they are
// dropped) and returns the flush's code. The caller holds the context's mutex.
DalResult ProcessReportQueue(DalContext& context);

// Turns every pending object into a report with the given time, wiping the object's bytes.
// The caller holds the context's mutex.
void QueuePendingReports(DalContext& context, uint32_t timeSeconds);

}  // namespace zorvan::dal
