#pragma once
// The console's progress delegate: rewrites the last four characters of the current line
// with a percentage.
#include <cstdint>
#include <string>

#include "core/control/ZorvanControlDelegate.h"

namespace zorvan::console {

class StatusUpdater final : public ZorvanControlDelegate {
public:
    StatusUpdater() = default;
    ~StatusUpdater() = default;
    StatusUpdater(const StatusUpdater&) = delete;
    StatusUpdater& operator=(const StatusUpdater&) = delete;

    void UpdateProgress(int32_t done, int32_t total) override;
};

// Four backspaces and the percentage right-aligned in four columns ("  7%", " 42%",
// "100%"). Not clamped; a total of 0 shows 0%.
std::wstring ProgressText(int32_t done, int32_t total);

}  // namespace zorvan::console
