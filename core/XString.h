// XString: one text held lazily in three forms — ANSI (the process's ANSI
// code page, GetACP), UTF-8 and UTF-16LE.
//
// The text is set from any one form; the others are built on demand through
// EncodingConvert and kept until the text changes, so a file name that is
// tested, converted and opened is converted once. Its key question is
// isAnsiRepresentable(): the file utilities pick the ANSI or the wide Win32
// call with it.
//
// Invariants: at least one form is current; all current forms hold the same
// text; a form that is not current is never read. An empty XString has all
// three forms current and empty (the UTF-16 form is one zero unit).
//
// No operation reports failure except isAnsiRepresentable(): characters
// that cannot be converted are left out of the produced form.
#pragma once

#include <cstdint>

#include "core/BrivaneObject.h"
#include "core/DataBuffer.h"
#include "core/StringBuffer.h"

class XString : public BrivaneObject {
public:
    // ansiStatus values: whether the text fits the ANSI code page.
    static constexpr int32_t kAnsiUnknown = 0;
    static constexpr int32_t kAnsiRepresentable = 1;
    static constexpr int32_t kAnsiNotRepresentable = 2;

    // Empty text, all three forms current.
    XString();
    ~XString() override;

    XString(const XString&) = delete;
    XString& operator=(const XString&) = delete;

    // Empty text: all forms current and empty, ansiStatus unknown.
    void clear();

    // Sets the text from ANSI text (NUL-terminated). Null or empty: clear().
    // The text is taken as representable without a test (ansiStatus 1).
    void setFromAnsi(const char* text);

    // Sets the text from UTF-8 text (NUL-terminated). Null or empty: clear().
    void setFromUtf8(const char* text);

    // Sets the text from UTF-16LE units terminated by a zero unit. Null or
    // a first unit of zero: clear().
    void setFromUtf16(const uint16_t* text);

    // The UTF-16 form, built when needed; always terminated by a zero unit.
    // The pointer stays valid until the text changes.
    const uint16_t* getUtf16();

    // The ANSI form, built when needed. Valid until the text changes.
    const char* getAnsi();

    // The UTF-8 form, built when needed. Valid until the text changes.
    const char* getUtf8();

    // True when the text can be written in the ANSI code page without loss.
    // Computed at most once per text; the conversion it makes becomes the
    // ANSI form.
    bool isAnsiRepresentable();

    // Length of the ANSI form in bytes when it is current, otherwise the
    // number of UTF-16 units. Callers use it to test for an empty name.
    int32_t getLength();

    // Appends UTF-8 text (NUL-terminated) to the text.
    void appendUtf8(const char* text);

    int32_t getAnsiStatus() const { return ansiStatus; }

private:
    void buildUtf16Form();
    void buildAnsiForm();
    void buildUtf8Form();
    // Which of the UTF-16 and UTF-8 forms a conversion reads when both are
    // current.
    enum class FormOrder { Utf16First, Utf8First };
    // Converts the UTF-16 form (without its terminator) or the UTF-8 form,
    // whichever is current (order decides when both are), into
    // targetCodePage; complete receives the converter's answer. False when
    // neither form is current.
    bool convertCurrentForm(uint32_t targetCodePage, FormOrder order, DataBuffer& result, bool& complete);
    void replaceStringForm(StringBuffer& form, const DataBuffer& result);
    void markOnlyCurrent(bool utf16, bool ansi, bool utf8);

    int32_t ansiStatus;
    bool utf16Current;
    bool ansiCurrent;
    bool utf8Current;
    DataBuffer utf16Form;  // UTF-16LE units + one zero unit (counted in size)
    StringBuffer ansiForm;
    StringBuffer utf8Form;
};
