#include "app/MessageBoxText.h"

void MessageBoxText::add(const char* text) {
    const char* start = text;
    for (const char* p = text; *p != 0; ++p) {
        if (*p != '\n') continue;
        m_pendingLine.appendN(start, static_cast<int32_t>(p - start));
        addLine(m_pendingLine.getString(), m_pendingLine.getSize());
        m_pendingLine.clear();
        start = p + 1;
    }
    m_pendingLine.append(start);
}

void MessageBoxText::addLine(const char* line, int32_t bytes) {
    if (m_lines < kShownLines) {
        if (m_lines != 0) m_shown.appendChar('\n');
        m_shown.appendN(line, bytes);
        ++m_lines;
        return;
    }
    m_lastLeftOut.clear();
    m_lastLeftOut.appendN(line, bytes);
    ++m_leftOut;
}

void MessageBoxText::compose(StringBuffer& text) {
    if (m_pendingLine.getSize() != 0) {
        addLine(m_pendingLine.getString(), m_pendingLine.getSize());
        m_pendingLine.clear();
    }
    text.setString(m_shown.getString());
    if (m_leftOut > 1) text.append("\n...");
    if (m_leftOut > 0) {
        text.appendChar('\n');
        text.appendSb(m_lastLeftOut);
    }
}
