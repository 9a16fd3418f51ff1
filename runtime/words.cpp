#include "runtime/words.h"

#include "runtime/context.h"
#include "runtime/datatypes/word.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"
#include "runtime/registry.h"
#include "runtime/symbol.h"

namespace vyn::words {

#define VYN_DEFINE_SYMBOL(id, text) uint32_t sym_##id = 0;
#define VYN_DEFINE_WORD(id, text) \
	uint32_t sym_##id = 0;        \
	Cell* w_##id = nullptr;
#define VYN_DEFINE_REFINEMENT(id, text) Cell* r_##id = nullptr;
VYN_PREDEFINED_SYMBOLS(VYN_DEFINE_SYMBOL)
VYN_PREDEFINED_WORDS(VYN_DEFINE_WORD)
VYN_PREDEFINED_REFINEMENTS(VYN_DEFINE_REFINEMENT)
#undef VYN_DEFINE_SYMBOL
#undef VYN_DEFINE_WORD
#undef VYN_DEFINE_REFINEMENT

Cell* issue_ooo = nullptr;
Node block = 0;

namespace {

#define VYN_COUNT(id, text) +1
constexpr uint32_t CELLS =
	0 VYN_PREDEFINED_WORDS(VYN_COUNT) VYN_PREDEFINED_REFINEMENTS(VYN_COUNT) + 1;
#undef VYN_COUNT

// The next cell of the fixed buffer; made on first use, sized for every
// cell above, and referenced from the root block when there is one.
Cell* keep(const Cell* value) {
	if (!block) {
		block = memory::alloc_fixed(CELLS, sizeof(Cell), 0);
		if (context::root) cell::set(memory::alloc_tail(context::root), T_BLOCK, 0, block, 0);
	}
	Series* s = memory::series(block);
	Cell* c = s->tail_cell();
	*c = *value;
	s->tail += sizeof(Cell);
	return c;
}

}  // namespace

void init() {
#define VYN_MAKE_SYMBOL(id, text) sym_##id = symbol::make(text);
#define VYN_MAKE_WORD(id, text)  \
	w_##id = keep(word::load(text)); \
	sym_##id = w_##id->data2;
	VYN_PREDEFINED_SYMBOLS(VYN_MAKE_SYMBOL)
	VYN_PREDEFINED_WORDS(VYN_MAKE_WORD)
#undef VYN_MAKE_SYMBOL
#undef VYN_MAKE_WORD
	stack::body_symbol = sym_frame_body;
	stack::anon_symbol = sym_frame_anon;
	stack::not_found_symbol = sym_frame_not_found;
}

void init_refinements() {
#define VYN_MAKE_REFINEMENT(id, text) r_##id = keep(refinement::load(text));
	VYN_PREDEFINED_REFINEMENTS(VYN_MAKE_REFINEMENT)
#undef VYN_MAKE_REFINEMENT
}

void init_ooo() {
	Cell* top = stack::top;
	issue_ooo = keep(issue::load("ooo"));
	stack::top = top;  // issue::load pushes when not starting
}

}  // namespace vyn::words

namespace vyn::typereg {

void make_type_words() {
	for (int id = 1; id <= registry::type_count; id++) {
		const char* name = registry::names[id].name;
		if (name) registry::names[id].word_symbol = word::load(name)->data2;
	}
}

}  // namespace vyn::typereg
