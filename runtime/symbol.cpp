#include "runtime/symbol.h"

#include <cstring>

#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/registry.h"
#include "runtime/unicode.h"
#include "runtime/utf8.h"

namespace vyn::symbol {

Node table = 0;

namespace {

constexpr uint32_t NONE = 0xFFFFFFFFu;

inline uint8_t lower(uint8_t b) { return uint8_t(b - 'A') < 26 ? uint8_t(b + 0x20) : b; }

// Equal ignoring the case of ASCII letters; other bytes must match.
bool ascii_equal_ignoring_case(const uint8_t* a, const uint8_t* b, uint32_t n) {
	for (uint32_t i = 0; i < n; i++)
		if (a[i] != b[i] && lower(a[i]) != lower(b[i])) return false;
	return true;
}

int32_t symbol_compare(const Cell* a, const Cell* b, CompareOp op) {
	if (!cell::is(b, T_SYMBOL)) return COMPARE_UNRELATED;
	Cell sa = *a, sb = *b;
	make_name_string(&sa);
	make_name_string(&sb);
	Cell na, nb;
	cell::set(&na, T_STRING, 0, sa.data2, 0);
	cell::set(&nb, T_STRING, 0, sb.data2, 0);
	return string::compare_strings(&na, &nb, op, false);
}

}  // namespace

void init(uint32_t size) {
	Cell block;
	cell::set(&block, T_BLOCK, 0, memory::alloc_cells(size), 0);
	table = hash::create(size, &block, hash::KIND_NAMES, 0);
}

uint32_t put_symbol(Node names, const uint8_t* name, uint32_t length, bool any_case) {
	hash::Table* t = hash::grow_names(names);
	const uint32_t* flags = hash::flag_words(t);
	const uint32_t* keys = hash::key_words(t);
	const Cell* base = memory::series(t->block)->head_cell();
	uint32_t b = hash::first_bucket(t, hash::murmur3_ascii_lower(name, length));
	uint32_t empty = NONE, folded = NONE;
	for (uint32_t step = 1; step <= t->buckets; step++) {
		uint32_t f = hash::bucket_flag(flags, b);
		if (f == hash::EMPTY) {
			empty = b;
			break;
		}
		if (f == hash::USED) {
			const Cell* sym = base + keys[b];
			const Series* s = memory::series(sym->data3);
			if (s->used() == length) {
				const uint8_t* stored = s->data() + s->head;
				if (std::memcmp(stored, name, length) == 0) return keys[b] + 1;
				if (folded == NONE && ascii_equal_ignoring_case(stored, name, length)) folded = keys[b];
			}
		}
		b = hash::next_bucket(t, b, step);
	}
	if (folded != NONE && any_case) return folded + 1;
	if (empty == NONE) errors::fire(errors::id::internal_limit_hit);
	// The alias is the canonical spelling, never an alias of an alias.
	int32_t alias = folded == NONE ? -1 : int32_t(resolve(folded + 1));
	Node bytes = memory::alloc_bytes(length + 1);
	Series* s = memory::series(bytes);
	if (length) std::memcpy(s->data(), name, length);
	s->data()[length] = 0;
	s->tail = length;
	Series* block = memory::series(t->block);
	uint32_t position = block->used() / sizeof(Cell);
	Cell* c = memory::alloc_at_tail(block);
	cell::set(c, T_SYMBOL, uint32_t(alias), 0, bytes);
	hash::occupy(t, empty, position);
	return position + 1;
}

uint32_t make_from_string(Cell* string) {
	int32_t count = -1;
	uint8_t* bytes = unicode::to_utf8(string, &count);
	return put_symbol(table, bytes, uint32_t(count), false);
}

void make_name_string(Cell* symbol) {
	if (symbol->data2) return;
	Series* s = memory::series(symbol->data3);
	symbol->data2 = unicode::load_utf8(s->head_ptr(), s->used());
}

Cell* get(uint32_t id) {
	Cell* c = cell_of(id);
	make_name_string(c);  // allocation moves no other buffer: c stays valid
	return c;
}

const char* c_name(uint32_t id) {
	Series* s = memory::series(cell_of(id)->data3);
	if (s->tail >= s->size) s = memory::expand_copy(s, s->size + 16);
	*s->tail_ptr() = 0;
	return reinterpret_cast<const char*>(s->head_ptr());
}

bool is_self(uint32_t id) {
	// Aliases fold ASCII letters only: this is resolving both sides.
	std::string_view n = name(id);
	return n.size() == 4 && ascii_equal_ignoring_case(reinterpret_cast<const uint8_t*>(n.data()),
		reinterpret_cast<const uint8_t*>("self"), 4);
}

int32_t compare_ids(uint32_t a, uint32_t b, CompareOp op) {
	Cell na, nb;
	cell::set(&na, T_STRING, 0, get(a)->data2, 0);
	cell::set(&nb, T_STRING, 0, get(b)->data2, 0);
	return string::compare_strings(&na, &nb, op, false);
}

void init_type() {
	ActionRow row{};
	row.compare = symbol_compare;
	registry::register_type(T_SYMBOL, Type(0), "symbol!", row, 0);
}

}  // namespace vyn::symbol
