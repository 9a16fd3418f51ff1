// Starting programs for `call`: a command line run directly (split into
// words) or through /bin/sh -c, its standard input fed from bytes or a file,
// its standard output and error captured or appended to files.
//
// Invariants:
//  - The child's standard output and error go to /dev/null unless
//    redirected; its standard input is the parent's unless redirected.
//  - Any redirection makes the call wait. Input, output and error are moved
//    together by one poll loop, so a child that writes much to both streams,
//    or reads its input slowly, never blocks against the caller.
//  - Every descriptor is opened close-on-exec: a child inherits only its
//    three standard streams. A child that is not waited for is reaped by a
//    thread of its own, so it never lingers as a zombie.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/cell.h"
#include "runtime/io/simple_io.h"

namespace vyn::call {

// One redirected stream.
struct Redirect {
	enum Kind : uint8_t { NONE, BYTES, FILE };
	Kind kind = NONE;
	std::string path;       // FILE: read for input, appended to for output
	std::string_view bytes; // BYTES input: what the child reads (kept alive by the caller)
};

struct Request {
	std::string command;
	bool wait = false;
	bool show = false;     // no windows here: nothing to show or hide
	bool console = false;  // refused
	bool shell = false;
	Redirect input, output, error;
};

struct Outcome {
	// The exit code when the call waited (128 + the signal number for a
	// child ended by a signal), the process id when it did not, -1 when
	// nothing could be started: the program and the shell failed, a file
	// could not be opened, or a pipe could not be made.
	int32_t answer = -1;
	bool shell = false;       // ran through the shell: asked for, or the retry
	simple_io::Bytes output;  // what the child wrote to captured streams
	simple_io::Bytes error;
};

// Runs the command. `console` raises internal not-done. A direct start that
// finds no such program is retried once through the shell.
Outcome run_process(const Request& request);

// The words of a direct command line: blanks separate words; single quotes
// keep everything up to the next one; in double quotes a backslash escapes
// " and \; elsewhere a backslash escapes the next character. There is no
// expansion of any kind.
std::vector<std::string> split_command(std::string_view command);

// Values: `call` with its command (string! or file!) and the cells of
// /input, /output and /error (null when not used). A file! names a file; a
// string! input is sent as UTF-8, a binary! as its bytes. Captured bytes are
// inserted at a binary! target's position; captured text is appended at a
// string! target's tail, decoded from UTF-8 with CR LF and a lone CR read as
// LF.
int32_t run_process(Cell* command, bool wait, bool show, bool console, bool shell, Cell* input, Cell* output,
	Cell* error);

}  // namespace vyn::call
