#pragma once
// Progress callback of the payload reader.
//
// SimpleArchive::extractNext calls onProgress after each step of an entry:
// once for a directory, once per chunk of a file. bytesConsumed counts the
// payload bytes read for the step (record header, length fields, chunk
// data); bytesProduced the bytes that step wrote to disk plus the same
// header overhead. Both are 32-bit counts of one step, not running totals.

#include <cstdint>

class SaProgress {
public:
    virtual ~SaProgress() {}

    // The base implementation does nothing.
    virtual void onProgress(uint32_t bytesConsumed, uint32_t bytesProduced) {
        (void)bytesConsumed;
        (void)bytesProduced;
    }
};
