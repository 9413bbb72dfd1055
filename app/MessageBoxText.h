#pragma once
// MessageBoxText: the text of an option run that has no console, gathered
// for one message box. A box taller than the screen cannot be read to its
// end, so it keeps the first kShownLines lines and the last one (a
// listing's summary), with "..." for those left out between them.

#include <cstdint>

#include "core/StringBuffer.h"

class MessageBoxText {
public:
    static constexpr int32_t kShownLines = 40;

    MessageBoxText() = default;
    MessageBoxText(const MessageBoxText&) = delete;
    MessageBoxText& operator=(const MessageBoxText&) = delete;

    // Appends text; lines end at '\n', and a line may come in pieces.
    void add(const char* text);
    // Nothing was added.
    bool isEmpty() const { return m_lines == 0 && m_pendingLine.getSize() == 0; }
    // The box's text: the lines kept, each ended by '\n' but the last.
    void compose(StringBuffer& text);

private:
    void addLine(const char* line, int32_t bytes);

    StringBuffer m_shown;        // the first kShownLines lines
    StringBuffer m_pendingLine;  // a line not yet ended by '\n'
    StringBuffer m_lastLeftOut;  // the last line beyond kShownLines
    int32_t m_lines = 0;
    int32_t m_leftOut = 0;
};
