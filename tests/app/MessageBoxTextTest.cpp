// The text of an option run without a console, as its one message box
// shows it: every line up to the limit, then "..." and the last line.

#include "app/MessageBoxText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string composed(MessageBoxText& box) {
    StringBuffer text;
    box.compose(text);
    return text.getString();
}

std::string numberedLines(int from, int to) {
    std::string text;
    for (int i = from; i <= to; ++i) text += "line " + std::to_string(i) + "\n";
    return text;
}

TEST(MessageBoxText, KeepsShortTextWhole) {
    MessageBoxText box;
    EXPECT_TRUE(box.isEmpty());
    box.add("Usage: x\n\n  --he");
    box.add("lp  this text\n");
    box.add("no newline at the end");
    EXPECT_FALSE(box.isEmpty());
    EXPECT_EQ(composed(box), "Usage: x\n\n  --help  this text\nno newline at the end");
}

TEST(MessageBoxText, LongTextKeepsTheFirstLinesAndTheLast) {
    struct Case {
        int lines;
        std::string expected;
    };
    const int shown = MessageBoxText::kShownLines;
    const std::string first = numberedLines(1, shown);
    const Case cases[] = {
        {shown, first.substr(0, first.size() - 1)},
        // One line beyond: nothing between is left out, so no "...".
        {shown + 1, first + "line " + std::to_string(shown + 1)},
        {shown + 25, first + "...\nline " + std::to_string(shown + 25)},
    };
    for (const Case& c : cases) {
        MessageBoxText box;
        box.add(numberedLines(1, c.lines).c_str());
        EXPECT_EQ(composed(box), c.expected) << c.lines << " lines";
    }
}

}  // namespace
