#pragma once
#include <cstdint>

namespace zorvan {

// Progress sink of the long chip operations; units are the operation's own.
class ZorvanControlDelegate {
public:
    virtual void UpdateProgress(int32_t done, int32_t total) = 0;

protected:
    ZorvanControlDelegate() = default;
    ~ZorvanControlDelegate() = default;
    ZorvanControlDelegate(const ZorvanControlDelegate&) = default;
    ZorvanControlDelegate& operator=(const ZorvanControlDelegate&) = default;
};

}  // namespace zorvan
