#include "runtime/evaluator/type_tests.h"

#include <string>
#include <utility>

#include "runtime/compiled.h"
#include "runtime/context.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/routines.h"
#include "runtime/evaluator/stack.h"

namespace vyn::type_tests {

namespace {

struct Exact {
	const char* name;
	Type type;
};

// No inheritance: string? of a file! is false.
constexpr Exact EXACT[] = {
	{"bitset?", T_BITSET}, {"binary?", T_BINARY}, {"block?", T_BLOCK}, {"char?", T_CHAR},
	{"email?", T_EMAIL}, {"file?", T_FILE}, {"float?", T_FLOAT}, {"get-path?", T_GET_PATH},
	{"get-word?", T_GET_WORD}, {"hash?", T_HASH}, {"integer?", T_INTEGER}, {"issue?", T_ISSUE},
	{"lit-path?", T_LIT_PATH}, {"lit-word?", T_LIT_WORD}, {"logic?", T_LOGIC}, {"map?", T_MAP},
	{"none?", T_NONE}, {"pair?", T_PAIR}, {"paren?", T_PAREN}, {"path?", T_PATH},
	{"percent?", T_PERCENT}, {"refinement?", T_REFINEMENT}, {"set-path?", T_SET_PATH},
	{"set-word?", T_SET_WORD}, {"string?", T_STRING}, {"tag?", T_TAG}, {"time?", T_TIME},
	{"typeset?", T_TYPESET}, {"tuple?", T_TUPLE}, {"unset?", T_UNSET}, {"url?", T_URL},
	{"word?", T_WORD}, {"image?", T_IMAGE}, {"date?", T_DATE}, {"money?", T_MONEY}, {"ref?", T_REF},
	{"point2D?", T_POINT2D}, {"point3D?", T_POINT3D}, {"handle?", T_HANDLE}, {"error?", T_ERROR},
	{"action?", T_ACTION}, {"native?", T_NATIVE}, {"datatype?", T_DATATYPE},
	{"function?", T_FUNCTION}, {"object?", T_OBJECT}, {"op?", T_OP}, {"routine?", T_ROUTINE},
	{"vector?", T_VECTOR},
};
constexpr size_t EXACT_COUNT = sizeof EXACT / sizeof EXACT[0];
static_assert(EXACT_COUNT == 48);

// Each test is named after its typeset word, with "?" in place of "!".
constexpr const char* TYPESET[] = {
	"any-list", "any-block", "any-function", "any-object", "any-path", "any-string", "any-word",
	"series", "number", "immediate", "scalar", "all-word", "any-point", "planar",
};
constexpr size_t TYPESET_COUNT = sizeof TYPESET / sizeof TYPESET[0];
static_assert(TYPESET_COUNT == 14);

// The global words of the typesets, bound at start-up.
Cell typeset_words[TYPESET_COUNT];

template <size_t I>
void exact_entry() {
	routines::answer_logic(cell::type_of(stack::arguments) == EXACT[I].type);
}

template <size_t I>
void typeset_entry() {
	Type t = cell::type_of(stack::arguments);
	const Cell* set = compiled::get_word(&typeset_words[I]);
	if (!cell::is(set, T_TYPESET)) errors::fire(errors::id::script_invalid_type, set);
	routines::answer_logic(compiled::typeset_has(set, t));
}

template <size_t... I>
void define_exact(std::index_sequence<I...>) {
	(routines::define({EXACT[I].name,
		 R"v(["Returns true if the value is this type" value [any-type!] return: [logic!]])v", exact_entry<I>}),
		...);
}

template <size_t... I>
void define_typesets(std::index_sequence<I...>) {
	(
		[] {
			std::string name = TYPESET[I];
			typeset_words[I] = *word::load((name + "!").c_str());
			std::string spec = "[\"Returns true if the value is any type of " + name +
							   "\" value [any-type!] return: [logic!]]";
			std::string test = name + "?";
			routines::define({test.c_str(), spec.c_str(), typeset_entry<I>});
		}(),
		...);
}

}  // namespace

void define_all() {
	define_exact(std::make_index_sequence<EXACT_COUNT>{});
	define_typesets(std::make_index_sequence<TYPESET_COUNT>{});
}

}  // namespace vyn::type_tests
