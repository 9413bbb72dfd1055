// Keeping the process from loading DLLs out of its own folder.
//
// An installer is run from wherever it was downloaded to, beside whatever else
// was downloaded: a DLL there named like one that the system loads on demand
// (uxtheme.dll for the visual styles, version.dll, dwmapi.dll, ...) would run
// its code inside the installer, as the user. The stub imports only Known
// DLLs, which the system always takes from its own folder; the DLLs loaded
// later are looked up along the search path, which starts with the
// executable's folder.
#pragma once

// Call first thing in the process. Restricts the search path of every later
// load to the system folder (SetDefaultDllDirectories, where kernel32 has it;
// else SetDllDirectoryW(L""), which at least drops the current directory),
// then loads the on-demand DLLs from the system folder by full path, so that
// a later load by name finds them already in the process. Nothing to do on
// systems whose loader does not search the program's folder.
void restrictDllSearchToSystem();
