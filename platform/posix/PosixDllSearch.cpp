// The dynamic loader of a POSIX system does not search the program's folder
// (unless the program asks for it with an $ORIGIN run path, which ours does
// not): nothing to restrict.
#include "platform/DllSearch.h"

void restrictDllSearchToSystem() {}
