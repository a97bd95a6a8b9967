#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <mutex>
#include <thread>

#include "core/cert/dal/DalContext.h"
#include "tests/cert/dal/DalTestSupport.h"

namespace zorvan::dal::test {
namespace {

class DalLifecycleTest : public DalTest {
  protected:
    void SetUp() override {
        DalTest::SetUp();
        identity_ = MakeIdentity(1500);
        record_ = MakeRecord(identity_, 3);
    }

    // Opens a depot and dates its file back, so that any write shows in its time.
    void OpenAged(const char* password = nullptr) {
        depot_ =
            MakeDepot("keys.bin", Concat({record_, MakeRecord(MakeIdentity(1600), 4)}), password);
        original_ = ReadFile(depot_);
        ASSERT_EQ(Open(depot_, password), DAL_SUCCESS);
        fs::last_write_time(depot_, fs::file_time_type::clock::now() - std::chrono::hours(24));
        aged_ = fs::last_write_time(depot_);
    }
    bool DepotWritten() const { return fs::last_write_time(depot_) != aged_; }

    void QueueReport(uint64_t id) {
        std::lock_guard<std::mutex> lock(context_->mutex);
        context_->reports.push_back(MakeConsumptionReport(id, DAL_REPORT_STATUS_FIRST_LIST, 0));
    }
    size_t QueuedReports() {
        std::lock_guard<std::mutex> lock(context_->mutex);
        return context_->reports.size();
    }
    void SetFlushRunning(bool running) {
        std::lock_guard<std::mutex> lock(context_->mutex);
        context_->flushRunning = running;
    }

    Identity identity_;
    Bytes record_;
    std::string depot_;
    Bytes original_;
    fs::file_time_type aged_;
};

TEST_F(DalLifecycleTest, SelectThenDestroyWritesNothingAndFreesTheContext) {
    OpenAged();
    EXPECT_EQ(Select(identity_), record_);
    EXPECT_EQ(dalFlush(context_, false), DAL_SUCCESS);
    EXPECT_EQ(dalFlush(context_, true), DAL_SUCCESS);
    EXPECT_EQ(dalDestroy(&context_, false), DAL_SUCCESS);
    EXPECT_EQ(context_, nullptr);
    EXPECT_FALSE(DepotWritten());
    EXPECT_EQ(ReadFile(depot_), original_);
}

TEST_F(DalLifecycleTest, RefusesMissingContexts) {
    EXPECT_EQ(dalFlush(nullptr, false), DAL_ERR_INVALID_INPUT);
    EXPECT_EQ(dalDestroy(nullptr, true), DAL_ERR_INVALID_INPUT);
    DalContext* none = nullptr;
    EXPECT_EQ(dalDestroy(&none, true), DAL_ERR_INVALID_INPUT);
}

TEST_F(DalLifecycleTest, AFlushOfQueuedReportsWritesTheDepotBackInItsForm) {
    for (const char* password : {static_cast<const char*>(nullptr), "pw"}) {
        SCOPED_TRACE(password != nullptr ? "encrypted" : "plain");
        OpenAged(password);
        QueueReport(0x1122334455667788);
        EXPECT_EQ(dalFlush(context_, false), DAL_SUCCESS);
        EXPECT_EQ(QueuedReports(), 0u);
        EXPECT_TRUE(DepotWritten());
        EXPECT_EQ(ReadFile(depot_), original_);  // same key and IV: the same bytes
        ASSERT_EQ(dalDestroy(&context_, false), DAL_SUCCESS);
        ASSERT_EQ(Open(depot_, password), DAL_SUCCESS);
        EXPECT_EQ(Select(identity_), record_);
        ASSERT_EQ(dalDestroy(&context_, false), DAL_SUCCESS);
    }
}

TEST_F(DalLifecycleTest, AsynchronousFlushesAreJoinedByDestroy) {
    OpenAged();
    for (uint64_t id = 1; id <= 20; ++id) {
        QueueReport(id);
        DalResult flushed;
        while ((flushed = dalFlush(context_, true)) == DAL_ERR_FLUSH_IN_PROGRESS) {
            std::this_thread::yield();
        }
        ASSERT_EQ(flushed, DAL_SUCCESS);
    }
    DalResult destroyed;
    while ((destroyed = dalDestroy(&context_, false)) == DAL_ERR_FLUSH_IN_PROGRESS) {
        ASSERT_NE(context_, nullptr);  // a refused destroy keeps the context
        std::this_thread::yield();
    }
    EXPECT_EQ(destroyed, DAL_SUCCESS);
    EXPECT_EQ(context_, nullptr);
}

TEST_F(DalLifecycleTest, ARunningFlushHoldsOffFlushAndDestroyEvenWhenForced) {
    OpenAged();
    QueueReport(7);
    SetFlushRunning(true);
    EXPECT_EQ(dalFlush(context_, false), DAL_ERR_FLUSH_IN_PROGRESS);
    EXPECT_EQ(dalFlush(context_, true), DAL_ERR_FLUSH_IN_PROGRESS);
    EXPECT_EQ(QueuedReports(), 1u);
    for (const bool force : {false, true}) {
        DalContext* before = context_;
        EXPECT_EQ(dalDestroy(&context_, force), DAL_ERR_FLUSH_IN_PROGRESS);
        EXPECT_EQ(context_, before);
    }
    SetFlushRunning(false);
    EXPECT_EQ(dalDestroy(&context_, false), DAL_SUCCESS);
    EXPECT_EQ(context_, nullptr);
}

TEST_F(DalLifecycleTest, DestroyReportsPendingObjectsAndKeepsTheContextWhenTheWriteFails) {
    OpenAged();
    // The table stays loaded, but it can no longer be written back.
    dalSetDepotFile(PathOf("gone/keys.bin").c_str());
    PendingObject first{0x0102030405060708, SecretBytes(Bytes(8, 0xEE).data(), 8)};
    PendingObject second{0xA1A2A3A4B1B2B3B4, SecretBytes(Bytes(8, 0xDD).data(), 8)};
    {
        std::lock_guard<std::mutex> lock(context_->mutex);
        context_->pending.push_back(PendingObjects{7, {}});
        context_->pending[0].lists[0].push_back(std::move(first));
        context_->pending[0].lists[1].push_back(std::move(second));
    }
    const uint32_t before = static_cast<uint32_t>(std::time(nullptr));
    EXPECT_EQ(dalDestroy(&context_, false), DAL_ERR_FILE_ACCESS);
    const uint32_t after = static_cast<uint32_t>(std::time(nullptr));
    ASSERT_NE(context_, nullptr);

    {
        std::lock_guard<std::mutex> lock(context_->mutex);
        EXPECT_TRUE(context_->pending[0].lists[0].empty());
        EXPECT_TRUE(context_->pending[0].lists[1].empty());
        ASSERT_EQ(context_->reports.size(), 2u);
        const ConsumptionReport& report = context_->reports[0];
        const uint32_t time = static_cast<uint32_t>(report[12]) << 24 | report[13] << 16 |
                              report[14] << 8 | report[15];
        EXPECT_GE(time, before);
        EXPECT_LE(time, after);
        const Bytes firstReport(report.begin(), report.end());
        EXPECT_EQ(Bytes(firstReport.begin(), firstReport.begin() + 12),
                  (Bytes{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0xFF, 0xFF, 0xFF, 0xFE}));
        EXPECT_EQ(Bytes(firstReport.begin() + 16, firstReport.end()), Bytes(4, 0));
        const ConsumptionReport& next = context_->reports[1];
        EXPECT_EQ(Bytes(next.begin(), next.begin() + 12),
                  (Bytes{0xA1, 0xA2, 0xA3, 0xA4, 0xB1, 0xB2, 0xB3, 0xB4, 0xFF, 0xFF, 0xFF, 0xFF}));
    }
    // The reports were queued once: a second attempt does not add them again.
    EXPECT_EQ(dalDestroy(&context_, false), DAL_ERR_FILE_ACCESS);
    EXPECT_EQ(QueuedReports(), 2u);
    EXPECT_EQ(dalDestroy(&context_, true), DAL_SUCCESS);
    EXPECT_EQ(context_, nullptr);
}

}  // namespace
}  // namespace zorvan::dal::test
