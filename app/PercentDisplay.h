#pragma once
// PercentDisplay: shows the progress of a run without a dialog (the
// installer's option runs on a console).

#include <cstdint>

class PercentDisplay {
public:
    virtual ~PercentDisplay() {}
    // Called each time the percentage rises (0 to 100).
    virtual void showPercent(uint32_t percent) = 0;
    // Called once the payload has been read: to its end, or up to damage.
    virtual void showEnd(bool reachedEnd) = 0;
};
