#pragma once
// EntryListing: the installer's --list output, one line per directory and
// file as the payload reader takes them in, in the columns of bvsfx list:
//
//   Time (UTC)           Attr          Size       Packed  Name
//   2001-09-09 02:46:40  ----a          300        127  docs/manual.txt
//
// and a summary line at the end ("2 files, 1 folder, 301 bytes"). A name is
// shown with its control characters (C0, DEL, C1) and the characters that
// reorder text (U+202A-U+202E, U+2066-U+2069) written as \xNN per byte, so
// that a payload cannot act on the terminal it is listed to.

#include <cstdint>

#include "app/ConsoleOutput.h"
#include "core/StringBuffer.h"
#include "payload/EntryObserver.h"

namespace EntryListing {

// "YYYY-MM-DD HH:MM:SS" in UTC for a FILETIME (100-ns units since 1601).
void appendFileTime(StringBuffer& line, uint64_t fileTime);
// One letter or '-' each for directory, read-only, hidden, system, archive:
// "d", "r", "h", "s", "a".
void appendAttributes(StringBuffer& line, uint32_t attributes);
// The name, escaped as above.
void appendDisplayName(StringBuffer& line, const char* name);
// A decimal number right-aligned in width characters (wider numbers take
// the room they need).
void appendDecimal(StringBuffer& line, uint64_t value, int32_t width);

}  // namespace EntryListing

// Writes each entry it is told about (when listing) and counts them.
class EntryLister : public EntryObserver {
public:
    // output is borrowed; printLines false only counts.
    EntryLister(ConsoleOutput& output, bool printLines) : m_output(output), m_printLines(printLines) {}

    void writeHeading();
    void onEntry(const EntryFacts& entry) override;
    // "N files, M folders, B bytes" (and a newline) appended to line.
    void appendSummary(StringBuffer& line) const;

private:
    ConsoleOutput& m_output;
    bool m_printLines;
    uint64_t m_files = 0;
    uint64_t m_folders = 0;
    uint64_t m_bytes = 0;
};
