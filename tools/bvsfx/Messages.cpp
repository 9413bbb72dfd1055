#include "tools/bvsfx/Messages.h"

#include <cstdio>

namespace Messages {

void error(const std::string& text) { std::fprintf(stderr, "bvsfx: error: %s\n", text.c_str()); }

namespace {
unsigned g_warnings = 0;
}  // namespace

void warning(const std::string& text) {
    ++g_warnings;
    std::fprintf(stderr, "bvsfx: warning: %s\n", text.c_str());
}

unsigned warningCount() { return g_warnings; }

void note(const std::string& text, bool quiet) {
    if (!quiet) std::fprintf(stderr, "bvsfx: %s\n", text.c_str());
}

}  // namespace Messages
