#include <gtest/gtest.h>

#include <set>

#include "tests/cert/dal/DalTestSupport.h"

namespace zorvan::dal::test {
namespace {

class DalSelectTest : public DalTest {
  protected:
    const Identity first_ = MakeIdentity(1500, 0x10);
    const Identity second_ = MakeIdentity(1501, 0x20);
    const Bytes firstRecord_ = MakeRecord(first_, 1);
    const Bytes secondRecord_ = MakeRecord(second_, 2);
};

TEST_F(DalSelectTest, FindsTheRecordOfTheIdentityInPlainAndEncryptedDepots) {
    const Bytes table = Concat({firstRecord_, secondRecord_});
    for (const char* password : {static_cast<const char*>(nullptr), "pass phrase"}) {
        SCOPED_TRACE(password != nullptr ? "encrypted" : "plain");
        ASSERT_EQ(Open(MakeDepot("keys.bin", table, password), password), DAL_SUCCESS);
        DalObject object{};
        EXPECT_EQ(Select(second_, &object), secondRecord_);
        EXPECT_EQ(object.reserved, 0u);
        EXPECT_EQ(object.length, static_cast<uint32_t>(DAL_CERTIFICATE_RECORD_SIZE));
        EXPECT_EQ(Select(first_), firstRecord_);
        ASSERT_EQ(dalDestroy(&context_, false), DAL_SUCCESS);
    }
}

TEST_F(DalSelectTest, TheObjectIdComesFromRecordBytes8To15) {
    Bytes record = firstRecord_;
    const uint8_t id[8] = {0x89, 0xAB, 0xCD, 0xEF, 0x01, 0x23, 0x45, 0x67};
    std::memcpy(record.data() + 8, id, sizeof id);
    Identity identity;
    std::memcpy(identity.data(), record.data() + 2, identity.size());
    ASSERT_EQ(Open(MakeDepot("keys.bin", record)), DAL_SUCCESS);
    DalObject object{};
    Select(identity, &object);
    EXPECT_EQ(object.idHigh, 0x89ABCDEFu);
    EXPECT_EQ(object.idLow, 0x01234567u);
}

TEST_F(DalSelectTest, NoMatchGivesZeroBytesAndSuccess) {
    // The identity of `first_` also occurs inside the second record, off the identity field,
    // and spread across the two records: neither may count as a match.
    Bytes decoy = secondRecord_;
    std::memcpy(decoy.data() + 100, first_.data(), first_.size());
    Bytes straddle = MakeRecord(MakeIdentity(4242), 7);
    std::memcpy(straddle.data() + 414, first_.data(), 8);
    std::memcpy(decoy.data(), first_.data() + 8, 8);
    ASSERT_EQ(Open(MakeDepot("keys.bin", Concat({straddle, decoy}))), DAL_SUCCESS);

    DalObject object{};
    EXPECT_EQ(Select(first_, &object), Bytes(DAL_CERTIFICATE_RECORD_SIZE, 0));
    EXPECT_EQ(object.idHigh, 0u);
    EXPECT_EQ(object.idLow, 0u);
}

TEST_F(DalSelectTest, TheFirstOfTwoRecordsForAnIdentityWins) {
    const Bytes duplicate = MakeRecord(first_, 9);
    ASSERT_EQ(Open(MakeDepot("keys.bin", Concat({secondRecord_, firstRecord_, duplicate}))),
              DAL_SUCCESS);
    EXPECT_EQ(Select(first_), firstRecord_);
}

TEST_F(DalSelectTest, AFailedLoadDropsTheTableOfEarlierContexts) {
    // The table is the process's, not the context's: a stale table must not answer for a key
    // file that could not be read.
    ASSERT_EQ(Open(MakeDepot("keys.bin", firstRecord_)), DAL_SUCCESS);
    DalContext* earlier = context_;
    context_ = nullptr;
    EXPECT_EQ(Open(PathOf("missing.bin")), DAL_ERR_FILE_ACCESS);
    context_ = earlier;
    EXPECT_EQ(Select(first_), Bytes(DAL_CERTIFICATE_RECORD_SIZE, 0));
}

TEST_F(DalSelectTest, ObjectsStayValidAfterDestroyAndLaterSelections) {
    ASSERT_EQ(Open(MakeDepot("keys.bin", Concat({firstRecord_, secondRecord_}))), DAL_SUCCESS);
    DalObject kept{};
    Select(second_, &kept);
    std::set<uint32_t> handles{kept.handle};
    for (int i = 0; i < 200; ++i) {
        DalObject object{};
        Select(i % 2 == 0 ? first_ : MakeIdentity(9999), &object);
        handles.insert(object.handle);
    }
    ASSERT_EQ(dalDestroy(&context_, false), DAL_SUCCESS);
    EXPECT_EQ(handles.size(), 201u);
    EXPECT_EQ(Bytes(kept.data, kept.data + kept.length), secondRecord_);
}

TEST_F(DalSelectTest, OnlyCertificatesCanBeSelected) {
    ASSERT_EQ(Open(MakeDepot("keys.bin", firstRecord_)), DAL_SUCCESS);
    DalObject object{};
    for (const uint32_t type : {0u, 1u, 3u, 0xFFFFFFFFu}) {
        EXPECT_EQ(dalSelect(context_, type, first_.data(), &object), DAL_ERR_NOT_IMPLEMENTED)
            << type;
    }
}

TEST_F(DalSelectTest, RefusesMissingArguments) {
    ASSERT_EQ(Open(MakeDepot("keys.bin", firstRecord_)), DAL_SUCCESS);
    DalObject object{};
    EXPECT_EQ(dalSelect(nullptr, DAL_PRODUCT_CERTIFICATE, first_.data(), &object),
              DAL_ERR_INVALID_INPUT);
    EXPECT_EQ(dalSelect(context_, DAL_PRODUCT_CERTIFICATE, nullptr, &object),
              DAL_ERR_INVALID_INPUT);
    EXPECT_EQ(dalSelect(context_, DAL_PRODUCT_CERTIFICATE, first_.data(), nullptr),
              DAL_ERR_INVALID_INPUT);
}

}  // namespace
}  // namespace zorvan::dal::test
