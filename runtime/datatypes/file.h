// file!: a string-family text naming a file. Paths are POSIX paths in
// UTF-8 with "/" as the separator: the operating system's form is the text
// itself (no drive letters, no backslash conversion). read, write, delete,
// rename and query forward to the I/O layer's simple-io services below.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace vyn::file {

// Registers file! (parent url!, which registers first).
void init_type();

// The I/O layer's services, installed by it; a null entry raises the
// internal error not-done when its action is used.
struct SimpleIo {
	// Reads the file (or lists a directory) into `out`: a string!, binary!
	// or block!; raises cannot-open when reading fails.
	void (*read)(Cell* file, const Cell* part, const Cell* seek, bool binary, bool lines, Cell* out);
	// Writes the data to the file.
	void (*write)(Cell* file, Cell* data, const Cell* part, const Cell* seek, bool binary, bool append, bool lines);
	bool (*delete_)(Cell* file);
	bool (*rename)(Cell* from, Cell* to);
	// The file's modification date! in UTC, or none.
	void (*query)(Cell* file, Cell* out);
	// One HTTP request. `method` is a word! or string! naming it (sent
	// upper-cased), headers a block of name and value pairs or null, body a
	// string! or binary! or null. Fills `out` with the body (binary!, block
	// of lines, or string!; with info a block of status, header map and
	// body) and answers true, or answers false when no request could be made.
	bool (*request_http)(const Cell* method, Cell* url, const Cell* headers, const Cell* body, bool binary,
		bool lines, bool info, Cell* out);
};
extern SimpleIo io;

// A new file! of text in `out` (encoding as string::load_at).
Cell* load(Cell* out, const uint8_t* bytes, uint32_t size, int32_t encoding);
// Pushes a copy of the value on the data stack.
Cell* push(const Cell* value);

// Appends the path in the local form: the text itself, after the current
// directory when `absolute` is set and the path does not start with "/".
void path_to_local(Cell* file, Cell* out, bool absolute);
// The path as NUL-terminated UTF-8 for the operating system, in the
// value's scratch buffer (valid until its next conversion).
const char* to_os_path(Cell* file);
// Appends the process's current directory, ending with "/".
void get_current_dir(Cell* out);

}  // namespace vyn::file
