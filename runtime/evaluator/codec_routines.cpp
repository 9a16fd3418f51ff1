#include "runtime/evaluator/codec_routines.h"

#include "runtime/evaluator/routines.h"
#include "runtime/io/csv.h"
#include "runtime/io/json.h"

namespace vyn::codec_routines {

namespace {

const routines::Definition DEFINITIONS[] = {
	// Taken into the JSON decoder by library/json.vyn, which unsets the word.
	{"json-unescape", R"v(["Resolves the JSON escapes of a string, in place" str [string!] return: [string!]])v",
		json::unescape_routine},
	// Taken into the CSV object by library/csv.vyn, which unsets the words.
	{"csv-split", R"v(["Splits CSV text into rows of fields: [rows stop], stop where unreadable text starts or none"
		text [string!] delimiter [char! string!] quote [char!] return: [block!]])v", csv::split_routine},
	{"csv-append-line", R"v(["Appends a record to a string as one CSV line"
		out [string!] data [block!] delimiter [char! string!] quote [char!] quotable [bitset!]
		return: [string!]])v", csv::append_line_routine},
};

}  // namespace

void define_all() {
	for (const routines::Definition& d : DEFINITIONS) routines::define(d);
}

}  // namespace vyn::codec_routines
