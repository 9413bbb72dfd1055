#pragma once
// Terminal: whether standard error is a terminal, which decides whether a
// progress bar is drawn, and asking for a password there. The one place
// where bvsfx asks the C runtime about its streams.

#include <string>

namespace Terminal {

bool stderrIsTerminal();
bool stdinIsTerminal();

// Shows the prompt on standard error and reads one line from standard
// input with the echo off (restored afterwards, also after Ctrl-C). The
// line end is not part of the answer. False when nothing could be read.
bool askSecret(const std::string& prompt, std::string& answer);

}  // namespace Terminal
