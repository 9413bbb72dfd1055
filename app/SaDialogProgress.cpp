#include "app/SaDialogProgress.h"

#include "resources/StubResources.h"

namespace {

// Large files move the accumulated count into m_done once it exceeds this.
constexpr uint32_t kAccumulatorFlushBytes = 1000000;
constexpr uint32_t kLargeFileUnitShift = 8;  // 256-byte units
constexpr uint32_t kLowByteMask = 0xFF;

}  // namespace

void SaDialogProgress::setExecutableSize(uint32_t low, uint32_t high) {
    m_sizeLow = low;
    m_sizeHigh = high;
}

void SaDialogProgress::onProgress(uint32_t bytesConsumed, uint32_t bytesProduced) {
    (void)bytesProduced;
    uint32_t divisor = 0;
    if (m_sizeHigh == 0) {
        m_done += bytesConsumed;
        divisor = m_sizeLow;
    } else {
        m_accumulator += bytesConsumed;
        if (m_accumulator <= kAccumulatorFlushBytes) return;
        m_done += m_accumulator >> kLargeFileUnitShift;
        m_accumulator &= kLowByteMask;
        divisor = (m_sizeHigh << 24) + (m_sizeLow >> kLargeFileUnitShift);
    }
    // An unknown size (the size query failed) gives no percentage at all.
    if (divisor == 0) return;

    const uint32_t percent =
        static_cast<uint32_t>(static_cast<double>(m_done) / static_cast<double>(divisor) * 100.0);
    if (m_dialog == nullptr && m_percentDisplay == nullptr) return;
    if (percent <= m_lastPercent) return;
    if (m_dialog != nullptr) {
        SendMessageA(GetDlgItem(m_dialog, IDC_PROGRESS_BAR), PBM_SETPOS, percent, 0);
    } else {
        m_percentDisplay->showPercent(percent);
    }
    m_lastPercent = percent;
}

void SaDialogProgress::onPayloadRead(bool reachedEnd) {
    if (m_percentDisplay != nullptr) m_percentDisplay->showEnd(reachedEnd);
}
