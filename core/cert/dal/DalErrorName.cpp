// The English names of the library's codes, and its version text.
#include "core/cert/dal/Dal.h"

namespace {

struct CodeName {
    DalResult code;
    const char* name;
};

constexpr CodeName kNames[] = {
    {DAL_SUCCESS, "Success"},
    {DAL_ERR_INVALID_INPUT, "Inputs to the called function were invalid"},
    {DAL_ERR_OUT_OF_MEMORY, "Memory allocation failure"},
    {DAL_ERR_OBJECT_EXISTS, "Object already exists"},
    {DAL_ERR_NO_PRODUCT_TYPE, "Depot does not contain the specified product type"},
    {DAL_ERR_NO_UNCONSUMED_OBJECTS, "Depot has no unconsumed objects of the specified type"},
    {DAL_ERR_INVALID_OBJECT, "Invalid object reference"},
    {DAL_ERR_DATABASE, "Unable to access database"},
    {DAL_ERR_FILE_ACCESS, "Unable to access required file"},
    {DAL_ERR_NO_SERVERS, "No servers responded"},
    {DAL_ERR_UNEXPECTED_RESPONSE, "Unexpected response returned by server"},
    {DAL_ERR_COMMUNICATIONS, "Communications error"},
    {DAL_ERR_MESSAGING, "Messaging error"},
    {DAL_ERR_PARTIALLY_FULFILLED,
     "DKS partially fulfilled the request for the specified product type"},
    {DAL_ERR_NOT_FULFILLED, "DKS could not fulfill the request for the specified product type"},
    {DAL_ERR_FLUSH_IN_PROGRESS, "A previous asynchronous dalFlush is still in progress"},
    {DAL_ERR_NOT_IMPLEMENTED, "Not implemented"},
    {DAL_ERR_LOG, "Log error"},
    {DAL_ERR_KEY_REQUEST, "Key request error"},
    {DAL_ERR_KEY_NOT_AVAILABLE, "Key not available"},
    {DAL_ERR_NETWORK_INTERFACE, "Network interface error"},
    {DAL_ERR_DAL, "DAL error"},
};

}  // namespace

extern "C" const char* dalErrorName(DalResult code) {
    for (const CodeName& entry : kNames) {
        if (entry.code == code) {
            return entry.name;
        }
    }
    return "Unknown error";
}

extern "C" const char* dalVersionString(void) {
    return "0 6 (demo)";
}
