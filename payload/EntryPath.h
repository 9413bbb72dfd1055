#pragma once
// EntryPath: the one rule the stub applies to an entry name before it
// creates anything. A name is relative (created below the destination) or
// absolute (a leading separator or drive letter and colon: created at that
// place, which lets an installer put a file where the system wants it). A
// ".." component would let a relative name climb out of the destination,
// and nothing a packer writes needs one, so such a name is refused.

namespace EntryPath {

// True when a component of the name, separated by '/' or '\', is exactly
// "..". A leading drive ("C:..\x" climbs on drive C) counts as a separator.
bool climbsOut(const char* name);

}  // namespace EntryPath
