// The headless front end of the console: the console engine (console/
// engine.vyn) reads its lines from standard input and prints to standard
// output through the routines and print hooks defined here.
#pragma once

#include <string>

namespace vyn::repl {

// Sends printed text to standard output.
void install_print_hooks();

// Defines the routines the console engine takes at start-up (it keeps them
// and unsets their global words).
void install_input();

// Runs `system/console/launch`: the script named on the command line, then
// the read-evaluate-print loop over standard input. Answers the exit status.
int launch();

// Runs a script's text (everything after its Vyn header) as top-level code;
// an error nothing caught is reported on standard error. Answers the exit
// status. For programs that embed the runtime without the console.
int run_script(const std::string& text);

}  // namespace vyn::repl
