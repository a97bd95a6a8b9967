// dalFlush and dalDestroy: consumption reports are handed on, in the caller's thread or in
// a flush thread of the context's own, and the context is released once nothing runs.
#include <ctime>
#include <mutex>
#include <system_error>
#include <thread>

#include "core/cert/dal/CatchAtBoundary.h"
#include "core/cert/dal/Dal.h"
#include "core/cert/dal/DalContext.h"
#include "core/cert/dal/Depot.h"

namespace zorvan::dal {
namespace {

void FlushWorker(DalContext* context) {
    std::lock_guard<std::mutex> lock(context->mutex);
    ProcessReportQueue(*context);
    context->flushRunning = false;
    // The mutex is released as the thread ends and never taken again by it, so whoever sees
    // flushRunning false may join this thread without waiting on it.
}

DalResult Flush(DalContext& context, bool asynchronous) {
    std::lock_guard<std::mutex> lock(context.mutex);
    if (context.reports.empty()) {
        return DAL_SUCCESS;
    }
    if (!ProcessDepot().WriteBack()) {
        return DAL_ERR_FILE_ACCESS;
    }
    if (context.flushRunning) {
        return DAL_ERR_FLUSH_IN_PROGRESS;
    }
    if (!asynchronous) {
        return ProcessReportQueue(context);
    }
    if (context.flushThread.joinable()) {
        context.flushThread.join();  // finished: see FlushWorker
    }
    context.flushRunning = true;
    try {
        context.flushThread = std::thread(FlushWorker, &context);
    } catch (const std::system_error&) {
        context.flushRunning = false;
        return DAL_ERR_OUT_OF_MEMORY;
    }
    return DAL_SUCCESS;
}

DalResult Destroy(DalContext** pointer, bool force) {
    if (pointer == nullptr || *pointer == nullptr) {
        return DAL_ERR_INVALID_INPUT;
    }
    DalContext& context = **pointer;
    {
        std::lock_guard<std::mutex> lock(context.mutex);
        if (context.flushRunning) {
            return DAL_ERR_FLUSH_IN_PROGRESS;
        }
        QueuePendingReports(context, static_cast<uint32_t>(std::time(nullptr)));
    }
    const DalResult flushed = Flush(context, false);
    if (flushed != DAL_SUCCESS && !force) {
        return flushed;
    }
    std::thread finished;
    {
        std::lock_guard<std::mutex> lock(context.mutex);
        // Even when forced, the context must outlive a flush thread that another caller
        // started meanwhile.
        if (context.flushRunning) {
            return DAL_ERR_FLUSH_IN_PROGRESS;
        }
        finished = std::move(context.flushThread);
    }
    if (finished.joinable()) {
        finished.join();
    }
    delete &context;
    *pointer = nullptr;
    return DAL_SUCCESS;
}

}  // namespace
}  // namespace zorvan::dal

extern "C" DalResult dalFlush(DalContext* context, bool asynchronous) {
    if (context == nullptr) {
        return DAL_ERR_INVALID_INPUT;
    }
    return zorvan::dal::CatchAtBoundary([&] { return zorvan::dal::Flush(*context, asynchronous); });
}

extern "C" DalResult dalDestroy(DalContext** context, bool force) {
    return zorvan::dal::CatchAtBoundary([&] { return zorvan::dal::Destroy(context, force); });
}
