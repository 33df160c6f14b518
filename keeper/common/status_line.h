#pragma once

namespace quirlomat::keeper {

// The keeper's side of the conversation with the program, one line each on standard output:
// "READY" once it can own the clipboard and waits for the text, "OK" once it owns it, or
// "ERR <reason>" (German) when it cannot, after which it ends with status 1.
void ReportReady();
void ReportOk();
// Returns the exit status that goes with the report, 1.
int ReportError(const char* reason);

}  // namespace quirlomat::keeper
