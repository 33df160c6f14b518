#pragma once

namespace quirlomat {

// Ends the program: the window closes and no further event procedure runs. Tests substitute
// one that only records the call.
class ProgramEnd {
public:
    virtual ~ProgramEnd() = default;
    virtual void End() = 0;
};

}  // namespace quirlomat
