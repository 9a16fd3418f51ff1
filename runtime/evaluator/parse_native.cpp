// The parse native: checks its arguments and runs the engine.
#include <algorithm>
#include <cmath>

#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/evaluator/natives.h"
#include "runtime/evaluator/parse.h"
#include "runtime/evaluator/stack.h"
#include "runtime/words.h"

namespace vyn::natives {

namespace {

bool parsable(Type t) { return series::any_block(t) || series::any_string(t) || t == T_BINARY; }

// The /part limit as an input index; raises invalid-refine-arg for a series
// that is not a position of the input.
int64_t part_limit(Cell* input, const Cell* length) {
	int64_t head = int64_t(series::clamp_head(input));
	switch (cell::type_of(length)) {
	case T_INTEGER: return head + cell::get_integer(length);
	case T_FLOAT: case T_PERCENT: {
		// Clamped before the conversion: beyond the 32-bit range every count
		// means the same (no limit, or an empty part).
		double d = cell::get_double(length);
		if (std::isnan(d)) errors::fire(errors::id::script_invalid_refine_arg, words::r_part, length);
		d = std::clamp(d, -4294967296.0, 4294967296.0);
		return head + int64_t(d);
	}
	default: break;
	}
	if (!series::same_series(input, length))
		errors::fire(errors::id::script_invalid_refine_arg, words::r_part, length);
	return int32_t(length->data1);
}

void n_parse(bool check, const int32_t* refs) {
	Cell input = stack::arguments[0];
	Cell rules = stack::arguments[1];
	if (check) {
		if (!parsable(cell::type_of(&input))) errors::fire(errors::id::script_expect_arg, &input);
		if (!cell::is(&rules, T_BLOCK)) errors::fire(errors::id::script_expect_arg, &rules);
	}
	bool case_sensitive = refs[0] >= 0;
	uint32_t limit = 0;
	if (refs[1] >= 0) {
		Cell length = stack::arguments[refs[1]];
		int64_t l = part_limit(&input, &length);
		if (l < 1) {
			Cell answer;
			cell::make_logic(&answer, series::vs_tail_q(&input));
			stack::set_result(&answer);
			return;
		}
		limit = l > 0x7FFFFFFF ? 0x7FFFFFFFu : uint32_t(l);
	}
	Cell callback;
	bool tracing = refs[2] >= 0;
	if (tracing) callback = stack::arguments[refs[2]];
	Cell out;
	parse::run(&input, &rules, case_sensitive, limit, tracing ? &callback : nullptr, &out);
	if (errors::pending) return;
	stack::set_result(&out);
}

}  // namespace

void register_parse() {
	parse::init();
	set(N_PARSE, n_parse);
}

}  // namespace vyn::natives
