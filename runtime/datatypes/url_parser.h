// The URL grammar of the library's url-parser (library/url.vyn) as C++:
// the entry of url-parser/parse-url and decode-url, and the parser url!
// uses to find the scheme of a URL it opens, reads or writes.
//
// The library's rule blocks stay the definition; this follows them step by
// step, as parse runs them: each rule is a PEG (an alternative that matched
// is never taken back), `copy` captures take the text a rule matched, and
// the whole text must match. A url! is read as it molds, a string! as its
// own text. The capture words of the url-parser object are not set here.
#pragma once

#include "runtime/cell.h"

namespace vyn::url_parser {

// The object of URL parts (system/standard/url-parts) in `out`, or none
// when the text does not match.
void parse(Cell* url, Cell* out);

// split-path of a path's text, made a file!: the path itself becomes the
// directory part, the last part goes to `target` (none when there is none).
void split_path(Cell* path, Cell* target);

// Entries: parse-url [url /throw-error] and decode-url [url].
void parse_url_entry();
void decode_url_entry();

}  // namespace vyn::url_parser
