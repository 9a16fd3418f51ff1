#include "boot/types.h"

#include "runtime/case_folding.h"
#include "runtime/context.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/char.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/email.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/file.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/hash.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/path.h"
#include "runtime/datatypes/percent.h"
#include "runtime/datatypes/point3d.h"
#include "runtime/datatypes/port.h"
#include "runtime/datatypes/ref.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/tag.h"
#include "runtime/datatypes/time.h"
#include "runtime/datatypes/triple.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/url.h"
#include "runtime/datatypes/vector.h"
#include "runtime/datatypes/word.h"
#include "runtime/ownership.h"
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
	default: return Type(0);
	}
}

// The type word holds its datatype.
void set_type_word(Type t) {
	Cell type{T_DATATYPE, uint32_t(t), 0, 0};
	context::set(context::add_global(registry::names[t].word_symbol), &type);
}

// A type whose module is not part of the runtime exists by name: every
// action unsupported.
void register_by_name(Type t) { registry::register_type(t, parent_of(t), type_names[t], ActionRow{}); }

}  // namespace

void register_all() {
	// The fixed start-up order; a parent always comes before its children.
	// Some modules register a family at once (word! with its variants and
	// issue!, path! with its variants and paren!, function! with routine!).
	datatype::init_type();
	unset::init_type();
	none::init_type();
	logic::init_type();
	series::init_type();
	block::init_type();
	string::init_type();
	binary::init_type();
	integer::init_type();
	symbol::init_type();
	context::init_type();
	word::init_types();
	char_::init_type();
	native::init_types();
	path::init_types();
	function::init_type();
	url::init_type();
	file::init_type();
	object::init_type();
	bitset::init_type();
	triple::init_type();
	float_::init_type();
	typeset::init_type();
	error::init_type();
	vector::init_type();
	map::init_type();
	hash_::init_type();
	pair::init_type();
	percent::init_type();
	tuple::init_type();
	time::init_type();
	tag::init_type();
	email::init_type();
	handle::init_type();
	date::init_type();
	port::init_type();
	money::init_type();
	ref::init_type();
	point2D::init_type();
	point3D::init_type();
	image::init_type();
}

void init_words() {
	block::make_at(&block::root, 1024);
	context::root = &block::root;
	context::starting = true;
	unicode::init_case_tables();
	symbol::init();
	context::init_global();
	// The type words are the first words of the global context, in id order.
	typereg::make_type_words();
	// Internal types have no value: symbol!, context!, and series!, whose
	// word the library makes a typeset.
	for (int t = 1; t <= registry::type_count; t++) {
		if (t == T_SYMBOL || t == T_CONTEXT || t == T_SERIES || !registry::names[t].word_symbol) continue;
		set_type_word(Type(t));
	}
	words::init();
	words::init_refinements();
	words::init_ooo();
	// event! is registered after the other types (its row belongs to the GUI
	// engine), but typesets such as external! need its word and value now.
	register_by_name(T_EVENT);
	registry::names[T_EVENT].word_symbol = word::load(type_names[T_EVENT])->data2;
	set_type_word(T_EVENT);
	money::init_currencies();
	ownership::init();
	context::starting = false;
}

}  // namespace vyn::types
