#include <gtest/gtest.h>

#include <string>

#include "core/cert/dal/Dal.h"

namespace {

TEST(DalErrorName, NamesEveryAssignedCode) {
    const struct {
        DalResult code;
        const char* name;
    } cases[] = {
        {0, "Success"},
        {0x6401, "Inputs to the called function were invalid"},
        {0x6402, "Memory allocation failure"},
        {0x6403, "Object already exists"},
        {0x6404, "Depot does not contain the specified product type"},
        {0x6405, "Depot has no unconsumed objects of the specified type"},
        {0x6406, "Invalid object reference"},
        {0x6407, "Unable to access database"},
        {0x6408, "Unable to access required file"},
        {0x6409, "No servers responded"},
        {0x640A, "Unexpected response returned by server"},
        {0x640B, "Communications error"},
        {0x640C, "Messaging error"},
        {0x640E, "DKS partially fulfilled the request for the specified product type"},
        {0x640F, "DKS could not fulfill the request for the specified product type"},
        {0x6410, "A previous asynchronous dalFlush is still in progress"},
        {0x6411, "Not implemented"},
        {0x6412, "Log error"},
        {0x6413, "Key request error"},
        {0x6414, "Key not available"},
        {0x6415, "Network interface error"},
        {0x6416, "DAL error"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(std::string(dalErrorName(c.code)), c.name) << std::hex << c.code;
    }
}

TEST(DalErrorName, CodesWithoutANameAreUnknown) {
    for (const DalResult code : {0x640Du, 5u, 0x6400u, 0x6417u, 0xFFFFFFFFu}) {
        EXPECT_EQ(std::string(dalErrorName(code)), "Unknown error") << std::hex << code;
    }
}

TEST(DalVersion, IsTheDemoVersion) {
    EXPECT_EQ(std::string(dalVersionString()), "0 6 (demo)");
}

}  // namespace
