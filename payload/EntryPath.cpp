#include "payload/EntryPath.h"

#include <cctype>

namespace EntryPath {

namespace {

bool isSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace

bool climbsOut(const char* name) {
    if (name == nullptr) return false;
    const char* component = name;
    if (std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':') component = name + 2;
    for (;;) {
        const char* end = component;
        while (*end != '\0' && !isSeparator(*end)) ++end;
        if (end - component == 2 && component[0] == '.' && component[1] == '.') return true;
        if (*end == '\0') return false;
        component = end + 1;
    }
}

}  // namespace EntryPath
