// The read-evaluate-print loop over standard input (no display): gathers
// lines until the input is complete, evaluates it and writes what the
// console shows.
#pragma once

#include <string>

namespace vyn::repl {

// Sends printed text to standard output.
void install_print_hooks();

// Defines `ask`, which reads the next line of standard input.
void install_input();

int run_stdin();

// Runs a script's text: everything after its Vyn header. Errors are
// reported as at the prompt; answers the exit status.
int run_script(const std::string& text);

}  // namespace vyn::repl
