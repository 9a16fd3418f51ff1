#include "runtime/datatypes/typeset.h"

#include "runtime/context.h"
#include "runtime/datatypes/constants.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/string.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"
#include "runtime/registry.h"

namespace vyn::typeset {

namespace {

// Registered types in the set (the sort order of typesets).
int32_t member_count(const Cell* value) {
	int32_t n = 0;
	for (int id = 1; id <= registry::type_count; id++) n += has(value, uint32_t(id));
	return n;
}

void merge(Cell* into, const Cell* item) {
	into->data1 |= item->data1;
	into->data2 |= item->data2;
	into->data3 |= item->data3;
}

// The types of a spec block, a word standing for its value. Compiled
// typeset literals also skip nested blocks and take a word whose value is
// a word as object!; they refuse other values as a type spec.
void fill_from_block(Cell* result, Cell* spec, bool literal) {
	make_at(result, 0, 0, 0);
	for (Cell* at = block::vs_head(spec); at < block::vs_tail(spec); at++) {
		const Cell* item = cell::is(at, T_WORD) ? context::get(at) : at;
		switch (cell::type_of(item)) {
		case T_DATATYPE: add(result, item->data1); break;
		case T_TYPESET: merge(result, item); break;
		case T_WORD:
			if (!literal) errors::fire(errors::id::script_invalid_arg, item);
			add(result, T_OBJECT);
			break;
		case T_BLOCK:
			if (!literal) errors::fire(errors::id::script_invalid_arg, item);
			break;
		default: errors::fire(literal ? errors::id::script_invalid_type_spec : errors::id::script_invalid_arg, item);
		}
	}
}

Cell* make(Cell* proto, Cell* spec, Type) {
	Type t = cell::type_of(spec);
	if (t == T_TYPESET) return cell::copy(spec, proto);
	if (t != T_BLOCK) datatype::fire_type(errors::id::script_bad_to_arg, T_TYPESET, spec);
	Cell result;
	fill_from_block(&result, spec, false);
	return cell::copy(&result, proto);
}

// Writes the member names, each followed by one space, while the budget lasts.
int32_t mold_names(const Cell* value, Cell* buffer, int32_t part, bool& any) {
	for (int id = 1; id <= registry::type_count && part > 0; id++) {
		if (!has(value, uint32_t(id)) || !registry::names[id].name) continue;
		std::string_view name = registry::names[id].name;
		string::append_literal(buffer, name);
		string::append_char(buffer, ' ');
		part -= int32_t(name.size()) + 1;
		any = true;
	}
	return part;
}

int32_t mold(const Cell* value, Cell* buffer, bool only, bool, bool, const Cell*, int32_t part, int32_t) {
	if (!only) {
		string::append_literal(buffer, "make typeset! [");
		part -= 15;
	}
	bool any = false;
	part = mold_names(value, buffer, part, any);
	if (any) {
		string::truncate(buffer, unicode::unit_count(memory::buffer_of(buffer)) - 1);  // the trailing space
		part++;
	}
	if (!only) {
		string::append_char(buffer, ']');
		part--;
	}
	return part;
}

int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part) {
	return mold(value, buffer, false, false, false, arg, part, 0);
}

int32_t compare(const Cell* value1, const Cell* value2, CompareOp op) {
	if (!cell::is(value2, T_TYPESET)) return COMPARE_UNRELATED;
	switch (op) {
	case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SAME: case COMP_FIND_SELECT:
		return value1->data1 == value2->data1 && value1->data2 == value2->data2 && value1->data3 == value2->data3
			? 0 : 1;
	case COMP_LESSER: case COMP_LESSER_EQUAL: case COMP_GREATER: case COMP_GREATER_EQUAL: case COMP_SORT:
	case COMP_CASE_SORT: {
		int32_t a = member_count(value1), b = member_count(value2);
		return a < b ? -1 : a > b ? 1 : 0;
	}
	default: return COMPARE_UNRELATED;
	}
}

Cell* complement(Cell* value) {
	value->data1 = ~value->data1;
	value->data2 = ~value->data2;
	value->data3 = ~value->data3;
	return value;
}

Cell* find(Cell* series, Cell* value, const Cell*, bool, bool, bool, bool, const Cell*, const Cell*, bool, bool,
	bool, bool) {
	if (!cell::is(value, T_DATATYPE)) errors::fire(errors::id::script_invalid_arg, value);
	return cell::copy(constants::logic_cell(has(series, value->data1)), series);
}

template <int32_t Code>
Cell* bitwise() {
	return do_bitwise(Code);
}

}  // namespace

Cell* make_at(Cell* out, uint32_t word1, uint32_t word2, uint32_t word3) {
	cell::set(out, T_TYPESET, word1, word2, word3);
	return out;
}

Cell* make_in(const Cell* block, uint32_t word1, uint32_t word2, uint32_t word3) {
	return make_at(memory::alloc_tail(block), word1, word2, word3);
}

Cell* make_any_type_in(const Cell* block) {
	Cell* c = make_in(block, ~0u, ~0u, ~0u);
	bytes(c)[T_UNSET >> 3] &= uint8_t(~(0x80u >> (T_UNSET & 7)));
	return c;
}

Cell* make_from_block_in(const Cell* block, Cell* spec) {
	Cell result;
	fill_from_block(&result, spec, true);
	return cell::copy(&result, memory::alloc_tail(block));
}

Cell* do_bitwise(int32_t code) {
	Cell* left = stack::arguments;
	const Cell* right = left + 1;
	Cell other;
	if (cell::is(right, T_DATATYPE)) {
		make_at(&other, 0, 0, 0);
		add(&other, right->data1);
	} else if (cell::is(right, T_TYPESET)) {
		other = *right;
	} else {
		errors::fire(errors::id::script_invalid_arg, right);
	}
	uint32_t* a = &left->data1;
	const uint32_t* b = &other.data1;
	for (int i = 0; i < 3; i++) {
		switch (code) {
		case 5: case 9: a[i] |= b[i]; break;
		case 6: case 10: a[i] &= b[i]; break;
		case 7: case 12: a[i] ^= b[i]; break;
		case 11: a[i] &= ~b[i]; break;
		default: break;  // unique: the first argument
		}
	}
	return left;
}

void init_type() {
	ActionRow row{};
	row.make = make;
	row.to = make;
	row.form = form;
	row.mold = mold;
	row.compare = compare;
	row.and_t = bitwise<6>;
	row.complement = complement;
	row.or_t = bitwise<5>;
	row.xor_t = bitwise<7>;
	row.find = find;
	registry::register_type(T_TYPESET, Type(0), "typeset!", row);
}

}  // namespace vyn::typeset
