#include "core/control/Cmdb.h"

#include <algorithm>

#include "core/control/StoredPackets.h"
#include "core/control/ZorvanControl.h"
#include "core/platform/Text.h"

namespace zorvan {

uint8_t CmdbChecksum(std::span<const uint8_t, kCmdbRecordSize> record) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < kCmdbRecordSize; ++i) {
        sum += record[i];
    }
    return static_cast<uint8_t>(0x100u - (sum & 0xFFu));
}

CmdbStatus EvaluateCmdb(std::span<const uint8_t, kCmdbRecordSize> record) {
    // Erased flash: the first ten bytes decide, whatever follows.
    if (std::all_of(record.begin(), record.begin() + 10, [](uint8_t b) { return b == 0xFF; })) {
        return CMDB_EMPTY;
    }
    if (!std::equal(kCmdbSignature.begin(), kCmdbSignature.end(), record.begin())) {
        return CMDB_BAD_SIGNATURE;
    }
    if (CmdbChecksum(record) != record[kCmdbRecordSize - 1]) {
        return CMDB_BAD_CHECKSUM;
    }
    return CMDB_OK;
}

std::wstring CmdbStatusLine(CmdbStatus status, std::span<const uint8_t, kCmdbRecordSize> record) {
    switch (status) {
        case CMDB_OK:
            return Format(L"CMDB: Ver:%d.%d  (Custom Ver: %d.%d)\r\n", record[4], record[5],
                          record[6], record[7]);
        case CMDB_READ_FAILED:
            return L"CMDB: Flash reading failed!\r\n";
        case CMDB_BAD_SIGNATURE:
            return L"CMDB: Signature not correct!\r\n";
        case CMDB_BAD_CHECKSUM:
            return L"CMDB: Checksum error!\r\n";
        case CMDB_EMPTY:
            return L"CMDB: No data!\r\n";
    }
    return std::wstring();
}

CmdbStatus ZorvanControl::CheckCmdb(std::wstring& text) {
    uint8_t record[kCmdbRecordSize] = {};
    const CmdbStatus status = ReadMemory(flashStartAddress + kCmdbFlashOffset, record,
                                         static_cast<int32_t>(kCmdbRecordSize))
                                  ? EvaluateCmdb(record)
                                  : CMDB_READ_FAILED;
    text += CmdbStatusLine(status, record);
    return status;
}

}  // namespace zorvan
