#include "core/cert/dal/Depot.h"

#include <cstring>
#include <utility>
#include <vector>

#include "core/cert/dal/Dal.h"
#include "core/cert/dal/DepotFile.h"

namespace zorvan::dal {
namespace {

constexpr size_t kIdentityOffset = 2;

}  // namespace

void Depot::SetFileName(const char* path) {
    std::lock_guard<std::mutex> lock(mutex_);
    hasFileName_ = path != nullptr;
    fileName_ = hasFileName_ ? path : "";
}

bool Depot::Load(const char* password) {
    std::lock_guard<std::mutex> lock(mutex_);
    table_.Clear();
    secrets_ = DepotSecrets();
    SecretBytes content;
    if (!hasFileName_ || !ReadDepotFile(fileName_, content)) {
        return false;
    }
    SecretBytes table;
    DepotSecrets secrets;
    if (!DecodeDepot(std::move(content), password, table, secrets)) {
        return false;
    }
    // A torn record means a truncated or mis-decrypted file; refuse it rather than answer
    // from part of it.
    if (table.empty() || table.size() % DAL_CERTIFICATE_RECORD_SIZE != 0) {
        return false;
    }
    table_ = std::move(table);
    secrets_ = std::move(secrets);
    return true;
}

bool Depot::WriteBack() const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!hasFileName_ || table_.empty()) {
        return false;
    }
    std::vector<uint8_t> content;
    return EncodeDepot(table_, secrets_, content) &&
           ReplaceDepotFile(fileName_, content.data(), content.size()).error ==
               platform::FileError::kNone;
}

bool Depot::FindCertificate(const uint8_t* identity, SecretBytes& record) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const size_t count = table_.size() / DAL_CERTIFICATE_RECORD_SIZE;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* candidate = table_.data() + i * DAL_CERTIFICATE_RECORD_SIZE;
        if (std::memcmp(candidate + kIdentityOffset, identity, DAL_IDENTITY_SIZE) == 0) {
            record = SecretBytes(candidate, DAL_CERTIFICATE_RECORD_SIZE);
            return true;
        }
    }
    return false;
}

Depot& ProcessDepot() {
    static Depot depot;
    return depot;
}

}  // namespace zorvan::dal
