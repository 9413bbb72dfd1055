#pragma once
// SaDialogProgress: turns the payload reader's byte counts into a percentage
// of the executable's size and moves the main dialog's progress bar.
//
// The divisor is the whole executable (stub included), so the bar stays a
// little below 100 during extraction; the dialog sets 100 when the run is
// over. The bar never moves backwards and is only sent a new position when
// the percentage rises.
//
// Files of 4 GiB or more are counted in units of 256 bytes: consumed bytes
// gather in an accumulator and move into the count once it exceeds
// 1,000,000, which keeps the 32-bit count from overflowing.

#include <cstdint>

#include "app/PercentDisplay.h"
#include "payload/SaProgress.h"
#include "platform/win32.h"

class SaDialogProgress : public SaProgress {
public:
    SaDialogProgress() = default;

    // The executable's size as two 32-bit halves (set at start-up).
    void setExecutableSize(uint32_t low, uint32_t high);
    // The main dialog whose progress bar moves; none in a silent run.
    void setDialog(HWND dialog) { m_dialog = dialog; }
    // Where a run without a dialog shows its percentage (borrowed); none
    // by default.
    void setPercentDisplay(PercentDisplay* display) { m_percentDisplay = display; }

    // Only bytesConsumed is used.
    void onProgress(uint32_t bytesConsumed, uint32_t bytesProduced) override;
    // The payload has been read, to its end or up to damage: tells the
    // percent display (the dialog sets its bar itself).
    void onPayloadRead(bool reachedEnd);

    uint32_t getLastPercent() const { return m_lastPercent; }

private:
    uint32_t m_sizeLow = 0;
    uint32_t m_sizeHigh = 0;
    uint32_t m_done = 0;         // bytes, or 256-byte units for files of 4 GiB or more
    uint32_t m_accumulator = 0;  // bytes not yet moved into m_done (large files)
    uint32_t m_lastPercent = 0;
    HWND m_dialog = nullptr;
    PercentDisplay* m_percentDisplay = nullptr;
};
