#pragma once

namespace quirlomat::keeper {

// The keeper's lines of the conversation with the program (hand_off_protocol.h), on standard
// output. After "ERR" the keeper ends with status 1.
void ReportReady();
void ReportOk();
// Returns the exit status that goes with the report, 1.
int ReportError(const char* reason);

}  // namespace quirlomat::keeper
