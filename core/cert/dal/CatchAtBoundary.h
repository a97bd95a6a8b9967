#pragma once
// Runs the body of a C entry point so that no exception leaves the library: running out of
// memory becomes DAL_ERR_OUT_OF_MEMORY, anything else DAL_ERR_DAL.
#include <new>

#include "core/cert/dal/Dal.h"

namespace zorvan::dal {

template <typename Body>
DalResult CatchAtBoundary(Body body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return DAL_ERR_OUT_OF_MEMORY;
    } catch (...) {
        return DAL_ERR_DAL;
    }
}

}  // namespace zorvan::dal
