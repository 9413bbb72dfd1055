#pragma once
// StubLocator: finds the stub a pack copies in front of its payload.
//
// --stub takes win32, win64, linux or a path. A name is looked up relative
// to the running bvsfx, so that a copy works wherever it was unpacked, in
// this order: the installed layout (<prefix>/bin/bvsfx ->
// <prefix>/lib/bvsfx/), beside bvsfx (the Windows zip), the app folder of
// the build tree bvsfx was built in (build/<preset>/tools/bvsfx ->
// build/<preset>/app), and the app folder of the sibling preset's build tree
// (build/<preset>/tools/bvsfx -> build/win32/app):
//
//   win32  bvsfx-stub.exe     the 32-bit Windows release stub (the default)
//   win64  bvsfx-stub64.exe   the x86-64 Windows stub
//   linux  bvsfx-stub         the Linux stub

#include <string>
#include <vector>

namespace StubLocator {

constexpr const char* kDefaultStub = "win32";

// Resolves the request into an existing file. False when nothing is found;
// tried then lists every place looked at.
bool locate(const std::string& request, std::string& path, std::vector<std::string>& tried);

// One line per named stub, "  NAME  PATH" or "  NAME  not found", for
// bvsfx --version.
std::string describeNamedStubs();

}  // namespace StubLocator
