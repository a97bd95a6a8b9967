#include "core/cert/dal/DalContext.h"

namespace zorvan::dal {
namespace {

void PutBigEndian(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value >> 24);
    out[1] = static_cast<uint8_t>(value >> 16);
    out[2] = static_cast<uint8_t>(value >> 8);
    out[3] = static_cast<uint8_t>(value);
}

}  // namespace

ConsumptionReport MakeConsumptionReport(uint64_t id, int32_t status, uint32_t timeSeconds) {
    ConsumptionReport report{};
    PutBigEndian(report.data(), static_cast<uint32_t>(id >> 32));
    PutBigEndian(report.data() + 4, static_cast<uint32_t>(id));
    PutBigEndian(report.data() + 8, static_cast<uint32_t>(status));
    PutBigEndian(report.data() + 12, timeSeconds);
    PutBigEndian(report.data() + 16, 0);
    return report;
}

DalResult ProcessReportQueue(DalContext& context) {
    context.reports.clear();
    return DAL_SUCCESS;
}

void QueuePendingReports(DalContext& context, uint32_t timeSeconds) {
    const int32_t statuses[2] = {DAL_REPORT_STATUS_FIRST_LIST, DAL_REPORT_STATUS_SECOND_LIST};
    for (PendingObjects& type : context.pending) {
        for (int list = 0; list < 2; ++list) {
            for (PendingObject& object : type.lists[list]) {
                context.reports.push_back(
                    MakeConsumptionReport(object.id, statuses[list], timeSeconds));
                object.bytes.Clear();
            }
            type.lists[list].clear();
        }
    }
}

}  // namespace zorvan::dal
