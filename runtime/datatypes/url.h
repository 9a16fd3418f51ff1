// url!: a string-family text naming a resource, with percent-encoding,
// construction from a block, path joining, and open/read/write forwarded to
// HTTP (through the I/O layer's services, file.h) or to a port.
//
// Character sets (ASCII only; every byte of 0x80 and above, that is of a
// non-ASCII character's UTF-8 form, is outside both):
//  - the URL set: A-Z a-z 0-9 ! # $ & ' ( ) * + , - . / : = ? @ _ ~
//  - the unreserved set: A-Z a-z 0-9 - . _ ~
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/registry.h"

namespace vyn::url {

// Registers url! (parent string!); file! registers after it.
void init_type();

bool in_url_set(uint32_t c);
bool in_unreserved_set(uint32_t c);

// Encoding modes: ENCODE_UNRESERVED keeps only the unreserved set, any
// other mode (ENCODE_URL) keeps the URL set.
constexpr int32_t ENCODE_UNRESERVED = 254;
constexpr int32_t ENCODE_URL = 255;

// A byte as the encoder writes it: itself when kept, else "%" and two
// upper-case hexadecimal digits.
struct Escaped {
	char text[3];
	uint32_t length;
};
Escaped escape_byte(int32_t mode, uint8_t byte);

// The byte of a "%xx" escape at units[0..2] (width w, `left` units
// available), when it is one.
bool hex_pair(const uint8_t* units, uint32_t width, uint32_t left, uint8_t* out);

// Appends the text of a string-family value from its head with every valid
// %xx escape decoded: escapes of a UTF-8 sequence give its codepoint (a
// malformed one raises invalid-utf8), other escapes their byte as a Latin-1
// character; an invalid escape is copied as it stands.
void decode(Cell* text, Cell* out);
// The same over `length` units of the given width at `units` (a buffer
// other than `out`'s).
void decode_units(const uint8_t* units, uint32_t width, uint32_t length, Cell* out);
// Appends the UTF-8 bytes of the text, each escaped under the mode.
void encode(Cell* text, Cell* out, int32_t mode);
// A new string! of percent-decoded UTF-8 bytes in `out`.
Cell* load_decoded(Cell* out, const uint8_t* bytes, uint32_t size);

// Pushes a copy of the value on the data stack.
Cell* push(const Cell* value);

// The library's URL parser (parse-url), installed by the library: fills
// `out` with an object! describing the URL, or another value when it
// cannot be parsed. Null until then (url/to-port raises not-done).
extern void (*parse_url)(Cell* url, Cell* out);

// The port! a URL names, made from the parser's object (and opened with
// the given refinements when `open` is set), in `out`.
Cell* to_port(Cell* url, bool open, bool new_, bool read, bool write, bool seek, bool allow, const Cell* access,
	Cell* out);

// The characters of a url's mold, in order, to `emit`, which answers
// false to stop them.
using MoldSink = bool (*)(void* sink, uint32_t c);
void mold_chars(const Cell* value, MoldSink emit, void* sink);

// The url! row's entries, reused by file!.
Cell* make(Cell* proto, Cell* spec, Type type);
Cell* to(Cell* proto, Cell* spec, Type type);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg, int32_t part,
	int32_t indent);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* gparent, Cell* previous, int32_t index,
	bool case_sensitive, bool get, bool last, bool notify);

}  // namespace vyn::url
