#pragma once

namespace quirlomat::keeper {

// Blocks SIGTERM, SIGINT and SIGHUP and delivers them on the descriptor returned (-1 when
// that cannot be arranged), so that a keeper sees them in the same poll() as its display
// connection and leaves through its normal end, which wipes the text.
int TerminationSignals();

}  // namespace quirlomat::keeper
