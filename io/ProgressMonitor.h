// Byte-count progress of a long piece of work, reported as whole percents.
#pragma once

#include <cstdint>

// Receiver of a ProgressMonitor's reports. Either operation may ask the work
// to stop by setting abort to true.
class ProgressCallback {
public:
    virtual ~ProgressCallback() = default;
    // The percentage rose to percent (0..100).
    virtual void percentDone(uint32_t percent, bool& abort) {
        (void)percent;
        (void)abort;
    }
    // Still working: the percentage has not moved for more than 300 ms.
    virtual void heartbeat(bool& abort) { (void)abort; }
};

class ProgressMonitor {
public:
    // Quiet time after which a byte report that does not move the percentage
    // still reaches the callback as a heartbeat.
    static constexpr uint32_t kHeartbeatIntervalMs = 300;

    // The callback is borrowed and may be null (the monitor then only counts).
    explicit ProgressMonitor(ProgressCallback* callback = nullptr, uint32_t expectedBytes = 0);

    // Counts n more bytes (never beyond the expected total) and tells the
    // callback when the percentage rose, or sends a heartbeat after 300 ms
    // without a report. abort is cleared first and set when the callback asks
    // to stop; isAborted() then answers true until the next addBytes.
    void addBytes(uint32_t n, bool& abort);

    // done * 100 / expected in 32-bit arithmetic, after dividing both by 10
    // while expected is above 1,000,000 (so the product cannot overflow);
    // 100 when expected is 0.
    static uint32_t percentage(uint32_t done, uint32_t expected);

    void setExpected(uint32_t expectedBytes) { m_expected = expectedBytes; }
    uint32_t getDone() const { return m_done; }
    bool isAborted() const { return m_aborted; }

private:
    uint32_t m_expected;
    uint32_t m_done;
    ProgressCallback* m_callback;
    bool m_aborted;
    uint32_t m_lastTickMs;
};
