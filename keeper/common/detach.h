#pragma once

namespace quirlomat::keeper {

// After "OK" nobody reads the keeper's output any more: the program ends at once. The keeper
// lets go of the program's pipes and terminal (its standard streams go to /dev/null), and of
// the working directory, which would otherwise keep its file system from being unmounted.
//
// A confined keeper can open nothing, so the part that needs the file system comes first:
// PrepareDetach opens /dev/null (kept until Detach) and leaves the working directory, before
// the confinement; Detach, after "OK", only puts the kept descriptor in place.
void PrepareDetach();
void Detach();

// Keepers are started in a session of their own; one started otherwise leaves its caller's
// session too, so that the end of a terminal does not end the clipboard.
void LeaveCallersSession();

}  // namespace quirlomat::keeper
