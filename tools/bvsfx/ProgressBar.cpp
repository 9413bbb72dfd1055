#include "tools/bvsfx/ProgressBar.h"

#include <cstdio>

#include "tools/bvsfx/Terminal.h"

namespace {
constexpr double kBytesPerMegabyte = 1024.0 * 1024.0;
}

ProgressBar::ProgressBar(std::string label, uint64_t total, bool enabled)
    : m_label(std::move(label)), m_total(total), m_enabled(enabled) {}

ProgressBar::~ProgressBar() {
    if (m_lineOpen) std::fputc('\n', stderr);
}

bool ProgressBar::wanted(bool quiet) { return !quiet && Terminal::stderrIsTerminal(); }

void ProgressBar::advance(uint64_t units) { set(m_done + units); }

void ProgressBar::set(uint64_t done) {
    m_done = done;
    if (!m_enabled) return;
    const uint64_t capped = m_done < m_total ? m_done : m_total;
    const uint32_t step = m_total == 0 ? 0 : static_cast<uint32_t>(capped * kStepsPerWhole / m_total);
    if (step != m_drawnStep) {
        m_drawnStep = step;
        draw();
    }
}

void ProgressBar::finish() {
    if (!m_enabled) return;
    m_done = m_total;
    m_drawnStep = kStepsPerWhole;
    draw();
    std::fputc('\n', stderr);
    m_lineOpen = false;
}

void ProgressBar::draw() {
    const uint32_t step = m_drawnStep > kStepsPerWhole ? kStepsPerWhole : m_drawnStep;
    const int filled = static_cast<int>(step * kBarCells / kStepsPerWhole);
    char cells[kBarCells + 1];
    for (int i = 0; i < kBarCells; ++i) cells[i] = i < filled ? '#' : '.';
    cells[kBarCells] = 0;
    std::fprintf(stderr, "\r%-8s [%s] %5.1f%%  %8.1f / %.1f MB", m_label.c_str(), cells, step / 10.0,
                 m_done / kBytesPerMegabyte, m_total / kBytesPerMegabyte);
    std::fflush(stderr);
    m_lineOpen = true;
}
