#include "runtime/evaluator/script_entries.h"

#include <vector>

#include "runtime/context.h"
#include "runtime/evaluator/library_entries.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"
#include "runtime/symbol.h"

namespace vyn::script_entries {

namespace {

inline Cell* args() { return stack::arguments; }

// Nesting past this depth (or a block holding itself) is left to the body.
constexpr size_t MAX_DEPTH = 256;

// True when preprocessor/macros holds no rule: its one value is a tag.
bool no_macros() {
	const Cell* pre = context::global_value(symbol::make("preprocessor"));
	if (!pre || !cell::is(pre, T_OBJECT)) return false;
	int32_t i = context::find_word(pre->data1, symbol::make("macros"), true);
	if (i < 0) return false;
	Cell* macros = context::values(pre->data1) + i;
	if (!cell::is(macros, T_BLOCK)) return false;
	Series* s = memory::buffer_of(macros);
	return s->used() == sizeof(Cell) && cell::is(s->head_cell(), T_TAG);
}

// True when no issue! stands in the block or in the blocks and parens it
// holds, which are all the places the directive rule looks at.
bool no_directives(const Cell* code) {
	std::vector<const Cell*> pending{code};
	std::vector<size_t> depth{0};
	while (!pending.empty()) {
		const Cell* list = pending.back();
		size_t d = depth.back();
		pending.pop_back();
		depth.pop_back();
		if (d > MAX_DEPTH) return false;
		Series* s = memory::buffer_of(list);
		const Cell* end = s->tail_cell();
		for (const Cell* c = s->head_cell() + list->data1; c < end; c++) {
			Type t = cell::type_of(c);
			if (t == T_ISSUE) return false;
			if (t == T_BLOCK || t == T_PAREN) {
				pending.push_back(c);
				depth.push_back(d + 1);
			}
		}
	}
	return true;
}

// Arguments: code /clean.
bool plain_code() {
	const Cell* a = args();
	if (cell::is(a + 1, T_LOGIC) && a[1].data1 != 0) return false;
	return no_macros() && no_directives(a);
}

void leave_as_is() { stack::set_result(args()); }

}  // namespace

void install() { library_entries::give("expand-directives", leave_as_is, plain_code); }

}  // namespace vyn::script_entries
