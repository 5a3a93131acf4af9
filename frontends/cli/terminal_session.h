// The terminal front-end: one run of tsugihagi-cli with parsed options. Finds the folder
// (creating an empty memory on the first run), loads the bot, and then converses on standard
// input and output, learns a text file, or shows or exports the state; reports every failure
// on standard error with the file and the reason, and saves as the options and the check box
// say, also when a signal ends the run.
#pragma once

#include "frontends/cli/command_line.h"

namespace tsugihagi {

inline constexpr int exit_done = 0;
inline constexpr int exit_failure = 1;
inline constexpr int exit_usage = 2;
inline constexpr int exit_learn_interrupted = 130;

// Runs the program; returns the process exit status. The bot's memory is left to the
// process's exit: REQUIRES: called once per process.
int run_terminal(const terminal_options& options);

}  // namespace tsugihagi
