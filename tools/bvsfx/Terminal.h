#pragma once
// Terminal: whether standard error is a terminal, which decides whether a
// progress bar is drawn. The one place where bvsfx asks the C runtime about
// its streams.

namespace Terminal {

bool stderrIsTerminal();

}  // namespace Terminal
