#include "runtime/datatypes/hash.h"

#include <algorithm>
#include <string_view>

#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/block_internal.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/hash_table.h"

namespace vyn::hash_ {

namespace {

// Turns a fresh block copy in `out` into a hash! with its own index.
Cell* index_copy(Cell* out) {
	cell::set_type(out, T_HASH);
	out->data3 = 0;
	series::hash_index_new(out);
	return out;
}

constexpr std::string_view PREFIX = "make hash! ";

}  // namespace

Cell* make_at(Cell* out, int32_t capacity) {
	uint32_t n = capacity < 1 ? 1 : uint32_t(capacity);
	Node table = hash::create(n, nullptr, hash::KIND_BLOCK, 0);
	cell::set(out, T_HASH, 0, hash::table_of(table)->block, table);
	return out;
}

Cell* make(Cell* proto, Cell* spec, Type type) {
	switch (cell::type_of(spec)) {
	case T_INTEGER:
	case T_FLOAT: return make_at(proto, block::capacity_of(spec));
	case T_BLOCK: {
		Cell v = *spec;
		v.data1 = series::clamp_head(&v);
		block::copy(&v, proto, nullptr, false, nullptr);
		return index_copy(proto);
	}
	case T_HASH: {
		Cell v = *spec;
		return copy(&v, proto, nullptr, false, nullptr);
	}
	default: return to(proto, spec, type);
	}
}

Cell* to(Cell* proto, Cell* spec, Type) {
	Cell v = *spec;
	if (cell::is(&v, T_HASH)) return copy(&v, proto, nullptr, false, nullptr);
	block::to(proto, &v, T_BLOCK);
	return index_copy(proto);
}

int32_t mold(const Cell* value, Cell* out, bool only, bool all, bool flat, const Cell* arg, int32_t part,
	int32_t indent) {
	if (!only && !cycles::find(value->data2)) {
		string::append_literal(out, PREFIX);
		part -= int32_t(PREFIX.size());
	}
	return block::mold(value, out, only, all, flat, arg, part, indent);
}

Cell* copy(Cell* value, Cell* out, const Cell* part, bool deep, const Cell* types) {
	Cell v = *value;
	bool whole = series::clamp_head(&v) == 0 && !part && !deep && !types && v.data3;
	block::copy(&v, out, part, deep, types);
	if (!whole) return index_copy(out);
	cell::set_type(out, T_HASH);
	out->data3 = hash::copy(v.data3, out->data2);
	return out;
}

Cell* sort(Cell* series, bool case_sensitive, const Cell* skip, const Cell* compare, const Cell* part, bool all,
	bool reverse, bool stable) {
	uint32_t h = series::clamp_head(series);
	block::sort(series, case_sensitive, skip, compare, part, all, reverse, stable);
	// Sorting moved cells behind the index's back: index the range again.
	uint32_t from = std::min(h, series::clamp_head(series));
	series::hash_reindex(series, from, series::buffer_length(series) - from);
	return series;
}

Cell* trim(Cell* series, bool head, bool tail, bool automatic, bool lines, bool all, const Cell* with) {
	uint32_t h = series::clamp_head(series);
	// The block shrinks: its old positions from the head leave the index
	// first, so that none stays behind past the new tail.
	series::hash_unindex(series, h, series::buffer_length(series) - h);
	block::trim(series, head, tail, automatic, lines, all, with);
	h = std::min(h, series::buffer_length(series));
	series::hash_reindex(series, h, series::buffer_length(series) - h);
	return series;
}

void init_type() {
	ActionRow row{};
	row.make = make;
	row.to = to;
	row.mold = mold;
	row.copy = copy;
	row.sort = sort;
	row.trim = trim;
	using registry::slot_bit;
	constexpr Slot inherited[] = {A_REFLECT, A_FORM, A_EVAL_PATH, A_COMPARE, A_APPEND, A_AT, A_BACK, A_CHANGE,
		A_CLEAR, A_FIND, A_HEAD, A_HEAD_Q, A_INDEX_Q, A_INSERT, A_LENGTH_Q, A_MOVE, A_NEXT, A_PICK, A_POKE, A_PUT,
		A_REMOVE, A_REVERSE, A_SELECT, A_SKIP, A_SWAP, A_TAIL, A_TAIL_Q, A_TAKE, A_MODIFY};
	uint64_t mask = 0;
	for (Slot s : inherited) mask |= slot_bit(s);
	registry::register_type(T_HASH, T_BLOCK, "hash!", row, mask);
}

}  // namespace vyn::hash_
