// The read-evaluate-print loop over standard input (no display): gathers
// lines until the input is complete, evaluates it and writes what the
// console shows.
#pragma once

namespace vyn::repl {

int run_stdin();

}  // namespace vyn::repl
