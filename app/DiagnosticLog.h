#pragma once
// The stub's diagnostic log: plain-text lines appended to a fixed path when
// that path can be opened (its folder usually does not exist, and then the
// lines are simply skipped).

#include "core/StringBuffer.h"

// Appended to, one group of lines at a time (opened "a", closed again).
constexpr char kDiagnosticLogPath[] = "c:/temp/saExtractLog.txt";
// Characters of the current-directory query written to the log.
constexpr unsigned kDiagnosticCurDirChars = 300;

// Writes prefix + "m_setupFilename = " + setupFilename and prefix +
// "curDir = " + the current directory, one line each. Start-up uses the
// prefix "0) ", the setup launch none.
void writeDiagnosticLines(const char* prefix, const StringBuffer& setupFilename);
