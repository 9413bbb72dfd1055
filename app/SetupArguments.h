#pragma once
// Arguments handed on to the setup program: the installer's command line
// after "--", appended to the payload's setupParams.
//
// The setup program's parameters are one command-line text (ShellExecuteExA's
// lpParameters), which the program's runtime splits into arguments again:
// on Windows CommandLineToArgvW or the C runtime, whose rules the POSIX
// layer's launch follows too. Each argument is therefore quoted so that
// those rules give it back unchanged:
// - an argument that is not empty and holds no blank (space, tab, newline,
//   vertical tab) and no double quote goes as it stands;
// - any other is put in double quotes; a double quote inside becomes \",
//   the backslashes directly before it are doubled, and so are backslashes
//   at the end (they stand before the closing quote). Other backslashes stay
//   single: only backslashes before a quote are special to the splitter.
// A doubled quote ("") is never written: splitters differ on it.

#include "core/StringBuffer.h"

// Appends argument to parameters, quoted as above, after one space when
// parameters is not empty.
void appendSetupArgument(StringBuffer& parameters, const char* argument);
