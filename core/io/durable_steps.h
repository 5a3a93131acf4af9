// The steps that change what a data folder holds on disk: a file or folder created, bytes
// handed to the system, a sync, a rename or exchange, a removal. Each announces itself here
// before it happens, so that a test can end the process at any one of them and check what
// the next start finds. Costs one relaxed atomic load per step while nothing watches.
#pragma once

namespace tsugihagi {

// Called with a short name of the step about to happen ("write", "sync", "rename", ...).
using step_watcher = void (*)(const char* step);

// Installs `watcher` (nullptr: none) for every thread of the process.
void watch_durable_steps(step_watcher watcher);

// Announces a step; the watcher, when one is installed, may end the process.
void durable_step(const char* step);

}  // namespace tsugihagi
