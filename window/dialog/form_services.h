#pragma once

#include "clipboard/clipboard.h"
#include "runtime/random_source.h"
#include "window/dialog/error_report.h"
#include "window/dialog/program_end.h"

namespace quirlomat {

// Everything the window reaches beyond itself. The program passes the real services; tests
// pass fakes, so that they neither touch the system clipboard nor end the test run.
struct FormServices {
    RandomSource& random;
    Clipboard& clipboard;
    ErrorReport& errorReport;
    ProgramEnd& programEnd;
};

}  // namespace quirlomat
