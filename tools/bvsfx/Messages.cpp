#include "tools/bvsfx/Messages.h"

#include <cstdio>

namespace Messages {

void error(const std::string& text) { std::fprintf(stderr, "bvsfx: error: %s\n", text.c_str()); }

void warning(const std::string& text) { std::fprintf(stderr, "bvsfx: warning: %s\n", text.c_str()); }

void note(const std::string& text, bool quiet) {
    if (!quiet) std::fprintf(stderr, "bvsfx: %s\n", text.c_str());
}

}  // namespace Messages
