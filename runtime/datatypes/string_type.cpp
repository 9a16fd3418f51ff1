// The string! datatype: its action row, make and to, comparison and path
// access. Form and mold are in string_mold.cpp, searching and sorting in
// string_search.cpp, modification in string_modify.cpp.
#include <cmath>

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/evaluator/actions.h"

namespace vyn::string {

namespace {

// A capacity from an integer! or float! spec; negative or out of range
// raises out-of-range with the spec.
uint32_t capacity_of(const Cell* spec) {
	int64_t n;
	if (cell::is(spec, T_INTEGER)) {
		n = cell::get_integer(spec);
	} else {
		double d = cell::get_double(spec);
		if (!(d > -2147483649.0 && d < 2147483648.0)) errors::fire(errors::id::script_out_of_range, spec);
		n = int64_t(d);
	}
	if (n < 0) errors::fire(errors::id::script_out_of_range, spec);
	return uint32_t(n);
}

// The cells of a block value from its (clamped) head.
struct Cells {
	Cell* first;
	uint32_t count;
};

Cells cells_of(Cell* block) {
	Series* s = memory::buffer_of(block);
	uint32_t n = s->used() / sizeof(Cell);
	if (block->data1 > n) block->data1 = n;
	return {s->head_cell() + block->data1, n - block->data1};
}

}  // namespace

Cell* copy_text(Cell* out, Cell* source, int32_t count, Type type) {
	uint32_t n = vs_length(source);
	if (count >= 0 && uint32_t(count) < n) n = uint32_t(count);
	uint32_t w = width_of(source);
	Node node = memory::alloc_series(n ? n : 1, w, 0);
	Series* s = memory::series(node);
	std::memcpy(s->data(), vs_head(source), size_t(n) * w);
	s->tail = n * w;
	cell::set(out, type, 0, node, 0);
	return out;
}

void append_value_text(Cell* out, Cell* text, int32_t part, bool only) {
	Cell scratch;
	Cell* value = text_value(text, scratch);
	Type t = cell::type_of(value);
	if (any_string(t) && t != T_TAG) {
		append_string(out, value, part);
		return;
	}
	switch (t) {
	case T_CHAR: append_char(out, value->data2); return;
	case T_TAG: {
		uint32_t n = vs_length(value);
		uint64_t limit = part < 0 ? uint64_t(n) + 2 : uint64_t(part);
		if (limit == 0) return;
		append_char(out, '<');
		append_string(out, value, int32_t(std::min<uint64_t>(n, limit - 1)));
		if (limit >= uint64_t(n) + 2) append_char(out, '>');
		return;
	}
	case T_BLOCK: case T_PAREN: case T_HASH: {
		Cells cells = cells_of(value);
		uint32_t count = cells.count;
		if (part >= 0 && !only && uint32_t(part) < count) count = uint32_t(part);
		uint32_t start = abs_length(out);
		Cell budget;
		cell::make_integer(&budget, part);
		int32_t left = part < 0 ? 0x7FFFFFFF : part;
		for (uint32_t i = 0; i < count; i++) {
			// Re-read the block each time: a form may reach it through a cycle.
			Cell item = cells_of(value).first[i];
			bool limited = part >= 0 && only;
			left = actions::form(&item, out, limited ? &budget : nullptr, left);
			if (limited && left <= 0) break;
		}
		if (part >= 0 && only) truncate(out, start + uint32_t(part));
		return;
	}
	default: {
		uint32_t start = abs_length(out);
		Cell budget;
		cell::make_integer(&budget, part);
		actions::form(value, out, part >= 0 ? &budget : nullptr, part >= 0 ? part : 0x7FFFFFFF);
		if (part >= 0) truncate(out, start + uint32_t(part));
		return;
	}
	}
}

Cell* make(Cell* proto, Cell* spec, Type type) {
	if (cell::is(spec, T_INTEGER) || cell::is(spec, T_FLOAT)) {
		uint32_t size = capacity_of(spec);
		if (type == T_BINARY) {
			cell::set(proto, T_BINARY, 0, memory::alloc_bytes(size ? size : 1), 0);
			return proto;
		}
		make_at(proto, size);
		cell::set_type(proto, type);
		return proto;
	}
	if (type == T_BINARY) {
		if (cell::is(spec, T_MONEY)) {
			datatype::fire_type(errors::id::script_bad_make_arg, T_BINARY, spec);
		}
		return actions::get_for_type<action::MakeFn>(T_BINARY, spec, A_TO)(proto, spec, T_BINARY);
	}
	return to(proto, spec, type);
}

Cell* to(Cell* proto, Cell* spec, Type type) {
	Cell result;
	Type t = cell::type_of(spec);
	if (any_string(t)) {
		copy_text(&result, spec, -1, type);
	} else if (t == T_NONE) {
		datatype::fire_type(errors::id::script_bad_to_arg, type, spec);
	} else if (t == T_BINARY) {
		Series* s = memory::buffer_of(spec);
		uint32_t units = s->used();
		uint32_t head = spec->data1 < units ? spec->data1 : units;
		load_utf8_checked(&result, s->head_ptr() + head, units - head);
	} else {
		make_at(&result, 16);
		if (t == T_BLOCK || t == T_PAREN || t == T_HASH)
			append_value_text(&result, spec, -1, false);
		else if (t == T_REFINEMENT && type != T_STRING)
			actions::mold(spec, &result, false, false, false, nullptr, 0x7FFFFFFF, 0);
		else
			actions::form(spec, &result, nullptr, 0x7FFFFFFF);
	}
	cell::set_type(&result, type);
	*proto = result;
	return proto;
}

int32_t compare(const Cell* value1, const Cell* value2, CompareOp op) {
	Type t1 = cell::type_of(value1), t2 = cell::type_of(value2);
	if (t1 != t2 && !(any_string(t2) && (op == COMP_EQUAL || op == COMP_NOT_EQUAL))) return COMPARE_UNRELATED;
	Cell a = *value1, b = *value2;
	return compare_strings(&a, &b, op, false);
}

namespace {

// poke: series::poke tells the series' owner.
Cell* poke_at(Cell* series, int32_t index, const Cell* boxed, Cell* value) {
	series::poke(series, index, boxed, value);
	return value;
}

}  // namespace

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell*, Cell*, Cell*, int32_t, bool case_sensitive, bool,
	bool, bool) {
	if (cell::is(element, T_INTEGER)) {
		int32_t n = cell::get_integer(element);
		return value ? poke_at(parent, n, element, value) : series::pick(parent, n, element);
	}
	if (cell::is(element, T_WORD)) errors::fire(errors::id::script_invalid_path, element, parent);
	if (!value)
		return select(parent, element, nullptr, false, case_sensitive, false, false, nullptr, nullptr, false, false);
	// Written where the same path reads: the unit right after the match.
	Cell found = *parent;
	find(&found, element, nullptr, false, case_sensitive, false, false, nullptr, nullptr, false, false, true, false);
	if (cell::is(&found, T_NONE)) {
		Cell none;
		cell::make_none(&none);
		errors::fire(errors::id::script_bad_path_set, &none, value);
	}
	Cell one;
	cell::make_integer(&one, 1);
	return poke_at(&found, 1, &one, value);
}

void init_type() {
	using registry::slot_bit;
	constexpr uint64_t inherited = slot_bit(A_RANDOM) | slot_bit(A_REFLECT) | slot_bit(A_AT) | slot_bit(A_BACK) |
		slot_bit(A_CLEAR) | slot_bit(A_COPY) | slot_bit(A_HEAD) | slot_bit(A_HEAD_Q) | slot_bit(A_INDEX_Q) |
		slot_bit(A_LENGTH_Q) | slot_bit(A_MOVE) | slot_bit(A_NEXT) | slot_bit(A_PICK) | slot_bit(A_POKE) |
		slot_bit(A_REMOVE) | slot_bit(A_REVERSE) | slot_bit(A_SKIP) | slot_bit(A_TAIL) | slot_bit(A_TAIL_Q) |
		slot_bit(A_MODIFY);
	ActionRow row{};
	row.make = make;
	row.to = to;
	row.form = form;
	row.mold = mold;
	row.eval_path = eval_path;
	row.compare = compare;
	row.append = insert;
	row.change = change;
	row.find = find;
	row.insert = insert;
	row.select = select;
	row.sort = sort;
	row.swap = swap;
	row.take = take;
	row.trim = trim;
	registry::register_type(T_STRING, T_SERIES, "string!", row, inherited);
}

}  // namespace vyn::string
