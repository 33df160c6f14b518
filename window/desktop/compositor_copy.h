#pragma once

namespace quirlomat {

// Whether the Wayland compositor named by WAYLAND_DISPLAY keeps a copy of the clipboard's text
// of its own, for good, the moment a client sets it: weston's clipboard reads the first form
// of every new selection and serves it once the owner has gone, and nothing a client does
// takes that copy back. weston is known by its own globals ("weston_..."). False where the
// compositor cannot be reached.
bool CompositorKeepsTheTextForGood();

}  // namespace quirlomat
