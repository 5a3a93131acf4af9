// How tsugihagi-cli is told to stop: SIGINT, SIGTERM and SIGHUP set a flag that ends the
// session at the next line (a blocked read returns at once), so what was learned is saved; a
// second such signal ends the process at once. SIGPIPE is ignored: a failed write to standard
// output is seen as an error and ends the session the same way.
#pragma once

namespace tsugihagi {

// Installs the handlers. Call once, before the first read.
void catch_end_signals();
// Whether one of the signals has arrived, and which (0 while none has).
bool interrupted();
int interrupting_signal();

}  // namespace tsugihagi
