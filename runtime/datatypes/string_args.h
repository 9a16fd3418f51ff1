// Argument checks and error arguments shared by the string-family actions.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/memory.h"

namespace vyn::string::args {

inline void datatype(Type t, Cell* out) { cell::set(out, T_DATATYPE, t); }

// A word cell naming `name` (none until words can be made).
inline void word(const char* name, Cell* out) {
	if (actions::make_word)
		actions::make_word(name, out);
	else
		cell::make_none(out);
}

[[noreturn]] inline void invalid_refine(const char* refinement, const Cell* arg) {
	Cell w;
	word(refinement, &w);
	errors::fire(errors::id::script_invalid_refine_arg, &w, arg);
}

[[noreturn]] inline void bad_to(Type target, const Cell* spec) {
	Cell t;
	datatype(target, &t);
	errors::fire(errors::id::script_bad_to_arg, &t, spec);
}

[[noreturn]] inline void out_of_range(int32_t n) {
	Cell c;
	cell::make_integer(&c, n);
	errors::fire(errors::id::script_out_of_range, &c);
}

// The signed count a /part argument stands for, from the series' head: an
// integer!, or a position in the same series (same type and buffer).
inline int64_t part_count(const Cell* series, const Cell* part) {
	if (cell::is(part, T_INTEGER)) return cell::get_integer(part);
	if (cell::type_of(part) == cell::type_of(series) && part->data2 == series->data2) {
		Series* s = memory::buffer_of(part);
		uint32_t units = s->used() / s->unit();
		uint32_t at = part->data1 < units ? part->data1 : units;
		return int64_t(at) - int64_t(series->data1);
	}
	invalid_refine("part", part);
}

}  // namespace vyn::string::args
