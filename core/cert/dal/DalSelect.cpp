// dalSelect: hands out the depot's record for an identity as a library-owned object.
#include <deque>
#include <mutex>

#include "core/cert/dal/CatchAtBoundary.h"
#include "core/cert/dal/Dal.h"
#include "core/cert/dal/Depot.h"
#include "core/cert/dal/SecretBytes.h"

namespace zorvan::dal {
namespace {

// Every object handed out keeps its bytes here until the process ends; a deque never moves
// its elements, so the pointers given to callers stay valid.
class ObjectStore {
  public:
    // Stores the bytes and returns the handle and the stored copy.
    const SecretBytes& Keep(SecretBytes bytes, uint32_t& handle) {
        std::lock_guard<std::mutex> lock(mutex_);
        objects_.push_back(std::move(bytes));
        handle = static_cast<uint32_t>(objects_.size());
        return objects_.back();
    }

  private:
    std::mutex mutex_;
    std::deque<SecretBytes> objects_;
};

ObjectStore& Objects() {
    static ObjectStore store;
    return store;
}

uint32_t BigEndianWord(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
           static_cast<uint32_t>(bytes[2]) << 8 | static_cast<uint32_t>(bytes[3]);
}

constexpr size_t kIdHighOffset = 8;
constexpr size_t kIdLowOffset = 12;

DalResult SelectCertificate(const uint8_t* identity, DalObject& object) {
    SecretBytes record;
    uint32_t idHigh = 0;
    uint32_t idLow = 0;
    if (ProcessDepot().FindCertificate(identity, record)) {
        idHigh = BigEndianWord(record.data() + kIdHighOffset);
        idLow = BigEndianWord(record.data() + kIdLowOffset);
    } else {
        record = SecretBytes(DAL_CERTIFICATE_RECORD_SIZE);  // no match: all zero, id 0
    }
    uint32_t handle = 0;
    const SecretBytes& kept = Objects().Keep(std::move(record), handle);
    object.reserved = 0;
    object.handle = handle;
    object.idLow = idLow;
    object.idHigh = idHigh;
    object.length = static_cast<uint32_t>(kept.size());
    object.data = kept.data();
    return DAL_SUCCESS;
}

}  // namespace
}  // namespace zorvan::dal

extern "C" DalResult dalSelect(DalContext* context, uint32_t productType, const uint8_t* identity,
                               DalObject* object) {
    if (context == nullptr || identity == nullptr || object == nullptr) {
        return DAL_ERR_INVALID_INPUT;
    }
    // Only certificates are ever asked for; the product-record form of other types is not
    // supported by this version.
    if (productType != DAL_PRODUCT_CERTIFICATE) {
        return DAL_ERR_NOT_IMPLEMENTED;
    }
    return zorvan::dal::CatchAtBoundary(
        [&] { return zorvan::dal::SelectCertificate(identity, *object); });
}
