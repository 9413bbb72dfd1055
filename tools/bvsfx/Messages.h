#pragma once
// Messages: what bvsfx says on standard error. Every line starts with
// "bvsfx: " and, for problems, the word "error" or "warning", so that a
// script can grep for them.

#include <string>

namespace Messages {

void error(const std::string& text);
void warning(const std::string& text);
// Warnings printed so far by this process (pack --strict stops on any).
unsigned warningCount();
// Plain information; suppressed by -q.
void note(const std::string& text, bool quiet);

}  // namespace Messages
