// How tsugihagi-cli is told to stop: SIGINT, SIGTERM and SIGHUP set a flag that ends the
// session at the next line (a blocked read returns at once), so what was learned is saved; a
// second such signal before the save ends the process at once (the journal keeps every
// learned line). Once the session ends they are held, so nothing interrupts the save: they
// wait for it. SIGPIPE is ignored: a failed write to standard output is seen as an error and
// ends the session the same way.
#pragma once

namespace tsugihagi {

// Installs the handlers. Call once, before the first read.
void catch_end_signals();
// Whether one of the signals has arrived, and which (0 while none has).
bool interrupted();
// Holds the end signals until the process exits. Call once the session is over.
void hold_end_signals();
int interrupting_signal();

}  // namespace tsugihagi
