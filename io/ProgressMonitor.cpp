#include "io/ProgressMonitor.h"

#include "platform/win32.h"

namespace {

// Above this expected total, done * 100 could overflow 32 bits: both counts
// are scaled down by 10 until the total is at most this.
constexpr uint32_t kPercentageScaleLimit = 1000000;

}  // namespace

ProgressMonitor::ProgressMonitor(ProgressCallback* callback, uint32_t expectedBytes)
    : m_expected(expectedBytes), m_done(0), m_callback(callback), m_aborted(false), m_lastTickMs(0) {}

uint32_t ProgressMonitor::percentage(uint32_t done, uint32_t expected) {
    if (expected == 0) return 100;
    while (expected > kPercentageScaleLimit) {
        expected /= 10;
        done /= 10;
    }
    return done * 100 / expected;
}

void ProgressMonitor::addBytes(uint32_t n, bool& abort) {
    abort = false;
    m_aborted = false;
    const uint32_t before = percentage(m_done, m_expected);
    m_done = (n > m_expected - m_done || m_done > m_expected) ? m_expected : m_done + n;
    const uint32_t after = percentage(m_done, m_expected);
    if (m_callback == nullptr) return;

    const DWORD now = GetTickCount();
    if (after > before) {
        m_lastTickMs = now;
        m_callback->percentDone(after, abort);
    } else if (now - m_lastTickMs > kHeartbeatIntervalMs) {
        m_lastTickMs = now;
        m_callback->heartbeat(abort);
    }
    if (abort) m_aborted = true;
}
