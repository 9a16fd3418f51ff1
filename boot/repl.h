// The read-evaluate-print loop over standard input (no display): gathers
// lines until the input is complete, evaluates it and writes what the
// console shows.
#pragma once

namespace vyn::repl {

// Sends printed text to standard output.
void install_print_hooks();

int run_stdin();

}  // namespace vyn::repl
