#include "core/XString.h"

#include <cstring>

#include "core/EncodingConvert.h"
#include "platform/win32.h"

namespace {

constexpr uint8_t kUtf16Terminator[] = {0, 0};
constexpr uint32_t kUtf16TerminatorBytes = sizeof(kUtf16Terminator);

uint32_t ansiCodePage() { return static_cast<uint32_t>(GetACP()); }

}  // namespace

// The empty text's UTF-16 form is its terminator alone, in a block of its
// size: a plain append would give it 20,000 bytes of room, and names and
// paths are XStrings made and dropped for every file.
XString::XString()
    : ansiStatus(kAnsiUnknown), utf16Current(true), ansiCurrent(true), utf8Current(true), ansiForm(""),
      utf8Form("") {
    utf16Form.appendExact(kUtf16Terminator, kUtf16TerminatorBytes);
}

XString::~XString() = default;

void XString::markOnlyCurrent(bool utf16, bool ansi, bool utf8) {
    utf16Current = utf16;
    ansiCurrent = ansi;
    utf8Current = utf8;
}

void XString::clear() {
    ansiStatus = kAnsiUnknown;
    ansiForm.clear();
    utf8Form.clear();
    utf16Form.clear();
    utf16Form.appendExact(kUtf16Terminator, kUtf16TerminatorBytes);
    markOnlyCurrent(true, true, true);
    ansiForm.minimizeMemory();
    utf8Form.minimizeMemory();
}

void XString::setFromAnsi(const char* text) {
    if (text == nullptr || text[0] == '\0') {
        clear();
        return;
    }
    // Text that arrives in the ANSI code page fits it by definition.
    ansiStatus = kAnsiRepresentable;
    utf8Form.clear();
    utf16Form.clear();
    ansiForm.reserveExact(static_cast<int32_t>(std::strlen(text)));
    ansiForm.setString(text);
    ansiForm.minimizeMemory();
    markOnlyCurrent(false, true, false);
}

void XString::setFromUtf8(const char* text) {
    if (text == nullptr || text[0] == '\0') {
        clear();
        return;
    }
    // A text inside utf8Form's own block fits it already: nothing is moved.
    utf8Form.reserveExact(static_cast<int32_t>(std::strlen(text)));
    utf8Form.setString(text);
    utf8Form.minimizeMemory();
    utf16Form.clear();
    ansiForm.clear();
    ansiStatus = kAnsiUnknown;
    markOnlyCurrent(false, false, true);
}

void XString::setFromUtf16(const uint16_t* text) {
    if (text == nullptr || text[0] == 0) {
        clear();
        return;
    }
    ansiForm.clear();
    utf8Form.clear();
    utf16Form.clear();
    uint32_t units = 0;
    while (text[units] != 0) ++units;
    utf16Form.ensureCapacity((units + 1) * sizeof(uint16_t));
    utf16Form.appendUtf16z(text);
    ansiStatus = kAnsiUnknown;
    markOnlyCurrent(true, false, false);
}

const uint16_t* XString::getUtf16() {
    if (!utf16Current) {
        buildUtf16Form();
    }
    return reinterpret_cast<const uint16_t*>(utf16Form.getData());
}

const char* XString::getAnsi() {
    if (!ansiCurrent) {
        buildAnsiForm();
    }
    return ansiForm.getString();
}

const char* XString::getUtf8() {
    if (!utf8Current) {
        buildUtf8Form();
    }
    return utf8Form.getString();
}

bool XString::isAnsiRepresentable() {
    if (ansiStatus == kAnsiRepresentable) {
        return true;
    }
    if (ansiStatus == kAnsiNotRepresentable) {
        return false;
    }
    if (!utf16Current && !utf8Current) {
        return true;
    }
    DataBuffer result;
    bool complete = true;
    convertCurrentForm(ansiCodePage(), FormOrder::Utf16First, result, complete);
    replaceStringForm(ansiForm, result);
    ansiCurrent = true;
    ansiStatus = complete ? kAnsiRepresentable : kAnsiNotRepresentable;
    return complete;
}

int32_t XString::getLength() {
    if (ansiCurrent) {
        return ansiForm.getSize();
    }
    if (!utf16Current) {
        buildUtf16Form();
    }
    if (!utf16Current || utf16Form.getSize() < kUtf16TerminatorBytes) {
        return 0;
    }
    return static_cast<int32_t>((utf16Form.getSize() - kUtf16TerminatorBytes) / 2);
}

void XString::appendUtf8(const char* text) {
    getUtf8();
    utf8Form.append(text);
    utf8Form.minimizeMemory();
    markOnlyCurrent(false, false, true);
    ansiStatus = kAnsiUnknown;
}

// --- Building forms ------------------------------------------------------------

namespace {

// A buffer's room for a conversion of sourceBytes bytes, made before the
// converter appends to it: none of the forms takes more than two bytes per
// source byte (a UTF-8 or ANSI byte gives at most one UTF-16 unit, a UTF-16
// unit at most three UTF-8 bytes), and an append that has to grow the buffer
// adds 20,000 bytes of room to it, a block the size of a chunk of file data
// for every name that is converted.
void reserveConversion(DataBuffer& result, uint32_t sourceBytes) {
    result.ensureCapacity(2 * sourceBytes + kUtf16TerminatorBytes);
}

}  // namespace

bool XString::convertCurrentForm(uint32_t targetCodePage, FormOrder order, DataBuffer& result,
                                 bool& complete) {
    const bool fromUtf16 = utf16Current && (order == FormOrder::Utf16First || !utf8Current);
    EncodingConvert converter;
    reserveConversion(result, fromUtf16 ? utf16Form.getSize() : static_cast<uint32_t>(utf8Form.getSize()));
    if (fromUtf16) {
        // Without its terminator; a form holding only the terminator converts
        // to the empty text.
        if (utf16Form.getSize() > kUtf16TerminatorBytes + 1) {
            complete = converter.convert(CodePage::kUtf16LE, targetCodePage, utf16Form.getData(),
                                         utf16Form.getSize() - kUtf16TerminatorBytes, result);
        }
        return true;
    }
    if (utf8Current) {
        complete = converter.convert(CodePage::kUtf8, targetCodePage, utf8Form.getString(),
                                     static_cast<uint32_t>(utf8Form.getSize()), result);
        return true;
    }
    return false;
}

void XString::replaceStringForm(StringBuffer& form, const DataBuffer& result) {
    form.clear();
    form.reserveExact(static_cast<int32_t>(result.getSize()));
    form.appendN(result.getData(), static_cast<int32_t>(result.getSize()));
    form.minimizeMemory();
}

void XString::buildUtf16Form() {
    uint32_t sourceCodePage = 0;
    const StringBuffer* source = nullptr;
    if (utf8Current) {
        sourceCodePage = CodePage::kUtf8;
        source = &utf8Form;
    } else if (ansiCurrent) {
        sourceCodePage = ansiCodePage();
        source = &ansiForm;
    } else {
        clear();
        return;
    }
    DataBuffer result;
    EncodingConvert converter;
    reserveConversion(result, static_cast<uint32_t>(source->getSize()));
    converter.convert(sourceCodePage, CodePage::kUtf16LE, source->getString(),
                      static_cast<uint32_t>(source->getSize()), result);
    utf16Form.clear();
    utf16Form.ensureCapacity(result.getSize() + kUtf16TerminatorBytes);
    utf16Form.appendDb(result);
    utf16Form.append(kUtf16Terminator, kUtf16TerminatorBytes);
    utf16Current = true;
}

void XString::buildAnsiForm() {
    DataBuffer result;
    bool complete = true;
    if (!convertCurrentForm(ansiCodePage(), FormOrder::Utf8First, result, complete)) {
        clear();
        return;
    }
    replaceStringForm(ansiForm, result);
    ansiCurrent = true;
}

void XString::buildUtf8Form() {
    // The UTF-16 form goes first: an ANSI form built from UTF-16 or UTF-8
    // text may have lost characters, and must not pass that loss on.
    DataBuffer result;
    bool complete = true;
    if (utf16Current) {
        convertCurrentForm(CodePage::kUtf8, FormOrder::Utf16First, result, complete);
    } else if (ansiCurrent) {
        EncodingConvert converter;
        converter.convert(ansiCodePage(), CodePage::kUtf8, ansiForm.getString(),
                          static_cast<uint32_t>(ansiForm.getSize()), result);
    } else {
        clear();
        return;
    }
    replaceStringForm(utf8Form, result);
    utf8Current = true;
}
