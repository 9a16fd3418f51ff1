#include "boot/types.h"

#include "runtime/context.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/native.h"
#include "runtime/registry.h"
#include "runtime/symbol.h"
#include "runtime/words.h"

namespace vyn::types {

namespace {

const char* const type_names[TYPE_COUNT] = {
	nullptr, "datatype!", "unset!", "none!", "logic!", "block!", "paren!", "string!", "file!", "url!", "char!",
	"integer!", "float!", "symbol!", "context!", "word!", "set-word!", "lit-word!", "get-word!",
	"refinement!", "issue!", "native!", "action!", "op!", "function!", "path!", "lit-path!", "set-path!",
	"get-path!", "routine!", "bitset!", "triple!", "object!", "typeset!", "error!", "vector!", "hash!",
	"pair!", "percent!", "tuple!", "map!", "binary!", "series!", "time!", "tag!", "email!", "handle!",
	"date!", "port!", "money!", "ref!", "point2D!", "point3D!", "image!", "event!",
};

// Parents of the types registered by name only.
Type parent_of(Type t) {
	switch (t) {
	case T_BLOCK: case T_STRING: case T_VECTOR: case T_BINARY: case T_IMAGE: return T_SERIES;
	case T_PAREN: case T_PATH: case T_HASH: return T_BLOCK;
	case T_LIT_PATH: case T_SET_PATH: case T_GET_PATH: return T_PATH;
	case T_FILE: case T_URL: case T_TAG: case T_EMAIL: case T_REF: return T_STRING;
	case T_SET_WORD: case T_LIT_WORD: case T_GET_WORD: case T_REFINEMENT: case T_ISSUE: return T_WORD;
	case T_ACTION: case T_OP: return T_NATIVE;
	case T_FUNCTION: return T_CONTEXT;
	case T_ROUTINE: return T_FUNCTION;
	case T_PERCENT: case T_TIME: return T_FLOAT;
	case T_ERROR: case T_PORT: return T_OBJECT;
	default: return Type(0);
	}
}

}  // namespace

void register_all() {
	symbol::init_type();
	context::init_type();
	native::init_types();
	function::init_type();
	// Types whose module is not part of the runtime yet exist by name.
	for (int t = 1; t < TYPE_COUNT; t++) {
		if (t == T_EVENT || registry::names[t].name) continue;
		registry::register_type(Type(t), parent_of(Type(t)), type_names[t], ActionRow{});
	}
}

void init_words() {
	symbol::init();
	context::init_global();
	words::init();
}

}  // namespace vyn::types
