#include "app/ConsoleProgress.h"

#include "app/EntryListing.h"

namespace {

constexpr uint32_t kWholePercent = 100;

}  // namespace

void ConsoleProgress::showPercent(uint32_t percent) {
    if (m_ended) return;
    StringBuffer line("\r");
    line.append(m_label);
    line.append(": ");
    EntryListing::appendDecimal(line, percent, 3);
    line.appendChar('%');
    m_output.writeProgress(line.getString());
    m_shown = true;
}

void ConsoleProgress::showEnd(bool reachedEnd) {
    if (m_ended) return;
    // The divisor is the whole installer, stub included: the count stays
    // below 100 until the end.
    if (reachedEnd) showPercent(kWholePercent);
    m_ended = true;
    if (m_shown) m_output.writeProgress("\n");
}
