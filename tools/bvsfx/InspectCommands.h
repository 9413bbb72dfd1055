#pragma once
// The commands that read an installer. Each returns the exit code.

#include "tools/bvsfx/InspectOptions.h"

int runList(const InspectOptions& options);
int runInfo(const InspectOptions& options);
int runTest(const InspectOptions& options);
int runExtract(const InspectOptions& options);
