#pragma once
// ConsoleProgress: the progress of an option run as one line on standard
// error, "Extracting: 42%", rewritten in place (carriage return) as the
// percentage rises, and ended by finish().

#include "app/ConsoleOutput.h"
#include "app/PercentDisplay.h"

class ConsoleProgress : public PercentDisplay {
public:
    // label: "Extracting" or "Checking"; both borrowed.
    ConsoleProgress(ConsoleOutput& output, const char* label) : m_output(output), m_label(label) {}

    void showPercent(uint32_t percent) override;
    // Shows 100% when the run came to its end, and ends the line (once).
    void showEnd(bool reachedEnd) override;

private:
    ConsoleOutput& m_output;
    const char* m_label;
    bool m_shown = false;
    bool m_ended = false;
};
