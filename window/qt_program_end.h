#pragma once

#include "window/program_end.h"

namespace quirlomat {

// Ends the program through an orderly shutdown of the Qt event loop, so that window systems
// which take the clipboard over from a closing program get the chance to.
class QtProgramEnd final : public ProgramEnd {
public:
    void End() override;
};

}  // namespace quirlomat
