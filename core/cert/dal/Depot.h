#pragma once
// The process-wide depot: the file named by dalSetDepotFile and the table loaded from it by
// the last dalCreate. Every context of the process answers from this one table.
#include <cstdint>
#include <mutex>
#include <string>

#include "core/cert/dal/DepotFormat.h"
#include "core/cert/dal/SecretBytes.h"

namespace zorvan::dal {

class Depot {
  public:
    // Null forgets the name.
    void SetFileName(const char* path);

    // Loads the named file, in place of the table held so far. A null password means a plain
    // file. Fails when no name is set, the file cannot be read, is empty, does not decrypt,
    // or does not hold a whole number of certificate records; there is no table afterwards.
    bool Load(const char* password);

    // Writes the table back to the file in the form it was loaded in; false without a table.
    bool WriteBack() const;

    // A copy of the first certificate record whose identity bytes equal `identity`; false
    // when there is none or no table.
    bool FindCertificate(const uint8_t* identity, SecretBytes& record) const;

  private:
    mutable std::mutex mutex_;
    bool hasFileName_ = false;
    std::string fileName_;
    SecretBytes table_;  // empty: no table
    DepotSecrets secrets_;
};

Depot& ProcessDepot();

}  // namespace zorvan::dal
