#pragma once
// ProgressBar: one line on standard error, redrawn in place ("\r") each time
// the completed share moves by a tenth of a percent:
//
//   pack     [##########..........]  50.0%   12.3 / 24.6 MB
//
// Disabled (draws nothing) unless asked for and standard error is a
// terminal; see Terminal.h.

#include <cstdint>
#include <string>

class ProgressBar {
public:
    static constexpr int kBarCells = 30;
    static constexpr uint32_t kStepsPerWhole = 1000;  // redraw granularity

    // total: the units of the whole job (bytes); 0 draws an empty bar.
    ProgressBar(std::string label, uint64_t total, bool enabled);
    // Ends the line when anything was drawn.
    ~ProgressBar();

    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void advance(uint64_t units);
    void set(uint64_t done);
    // Draws 100% and ends the line.
    void finish();

    // Whether a bar is drawn when asked for (not quiet and standard error is
    // a terminal).
    static bool wanted(bool quiet);

private:
    void draw();

    std::string m_label;
    uint64_t m_total;
    uint64_t m_done = 0;
    uint32_t m_drawnStep = UINT32_MAX;
    bool m_enabled;
    bool m_lineOpen = false;
};
