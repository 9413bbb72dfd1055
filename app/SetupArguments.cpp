#include "app/SetupArguments.h"

namespace {

bool needsQuotes(const char* argument) {
    if (*argument == 0) return true;
    for (const char* p = argument; *p != 0; ++p) {
        if (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\v' || *p == '"') return true;
    }
    return false;
}

void appendBackslashes(StringBuffer& text, int32_t count) {
    for (int32_t i = 0; i < count; ++i) text.appendChar('\\');
}

}  // namespace

void appendSetupArgument(StringBuffer& parameters, const char* argument) {
    if (parameters.getSize() != 0) parameters.appendChar(' ');
    if (!needsQuotes(argument)) {
        parameters.append(argument);
        return;
    }
    parameters.appendChar('"');
    for (const char* p = argument;; ++p) {
        int32_t backslashes = 0;
        while (*p == '\\') {
            ++backslashes;
            ++p;
        }
        if (*p == 0) {
            // They stand before the closing quote: doubled, they stay literal.
            appendBackslashes(parameters, backslashes * 2);
            break;
        }
        if (*p == '"') {
            appendBackslashes(parameters, backslashes * 2 + 1);
        } else {
            appendBackslashes(parameters, backslashes);
        }
        parameters.appendChar(*p);
    }
    parameters.appendChar('"');
}
