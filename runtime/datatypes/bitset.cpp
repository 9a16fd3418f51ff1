#include "runtime/datatypes/bitset.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "runtime/datatypes/char.h"
#include "runtime/datatypes/constants.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/spans.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/stack.h"
#include "runtime/ownership.h"
#include "runtime/registry.h"
#include "runtime/symbol.h"
#include "runtime/words.h"

namespace vyn::bitset {

namespace {

// Members are 32-bit integers at most; a float past that is out of range.
constexpr int64_t MEMBER_LIMIT = int64_t(1) << 31;

inline uint8_t fill_of(const Cell* value) { return complemented(value) ? 0xFF : 0x00; }

Cell* make_node_at(Cell* out, Node node) {
	cell::set(out, T_BITSET, 0, node, 0);
	return out;
}

// Makes room for `count` bytes, the new ones `fill`; answers the buffer.
Series* grow(Cell* value, uint32_t count, uint8_t fill) {
	Series* s = buffer(value);
	uint32_t used = s->used();
	if (count <= used) return s;
	if (s->head + count > s->size) {
		uint64_t room = std::max<uint64_t>(count, uint64_t(used) * 2);
		if (room > 0xF0000000u) room = count;
		s = memory::expand_copy(s, uint32_t(room));
	}
	std::memset(s->head_ptr() + used, fill, count - used);
	s->tail = s->head + count;
	return s;
}

// Raises the error the caller is told to raise for an unusable value.
[[noreturn]] void refuse(const Cell* spec, Caller caller) {
	switch (caller) {
	case Caller::make: datatype::fire_type(errors::id::script_bad_make_arg, T_BITSET, spec);
	case Caller::to: datatype::fire_type(errors::id::script_bad_to_arg, T_BITSET, spec);
	default: errors::fire(errors::id::script_invalid_arg, spec);
	}
}

inline bool is_member_type(Type t) { return t == T_CHAR || t == T_INTEGER || t == T_FLOAT; }

// The member a scalar names; a negative one (only kept when testing) is -1,
// one past the 32-bit range (only when testing) is MEMBER_LIMIT.
int64_t member_of(const Cell* v, Op op) {
	int64_t n;
	switch (cell::type_of(v)) {
	case T_CHAR: return char_::get(v);
	case T_INTEGER: n = cell::get_integer(v); break;
	default: {
		double d = std::trunc(cell::get_double(v));
		if (std::isnan(d)) n = -1;
		else if (d >= double(MEMBER_LIMIT)) n = MEMBER_LIMIT;
		else n = d < 0 ? -1 : int64_t(d);
	}
	}
	if ((n < 0 || n >= MEMBER_LIMIT) && op != Op::test) errors::fire(errors::id::script_out_of_range, v);
	return n;
}

struct Worker {
	Cell* bits;
	Op op;
	Caller caller;
	int64_t highest = -1;
	bool all = true;  // test: every member seen so far is in the set

	// Members lo..hi (inclusive, 0 <= lo <= hi < MEMBER_LIMIT, or negative
	// or past the limit when testing).
	void range(int64_t lo, int64_t hi) {
		switch (op) {
		case Op::measure: highest = std::max(highest, hi); return;
		case Op::test: all = all && test_range(lo, hi); return;
		case Op::set: return change_range(uint32_t(lo), uint32_t(hi), true);
		case Op::clear: return change_range(uint32_t(lo), uint32_t(hi), false);
		}
	}

	bool test_range(int64_t lo, int64_t hi) {
		if (lo < 0) return false;
		if (hi >= MEMBER_LIMIT) {
			if (!complemented(bits)) return false;
			hi = MEMBER_LIMIT - 1;
		}
		for (int64_t n = lo; n <= hi; n++) {
			// Whole bytes at once inside the range.
			if ((n & 7) == 0 && n + 7 <= hi && (n >> 3) < byte_count(bits)) {
				if (buffer(bits)->head_ptr()[n >> 3] != 0xFF) return false;
				n += 7;
				continue;
			}
			if (!has(bits, uint32_t(n))) return false;
		}
		return true;
	}

	// Sets (on) or clears the members lo..hi, growing only when the state of
	// the members past the size differs from the one wanted.
	void change_range(uint32_t lo, uint32_t hi, bool on) {
		bool beyond = complemented(bits);
		uint32_t count = byte_count(bits);
		if ((lo >> 3) >= count && beyond == on) return;
		if (beyond != on) grow(bits, (hi >> 3) + 1, fill_of(bits));
		else hi = std::min(hi, count * 8 - 1);
		uint8_t* b = buffer(bits)->head_ptr();
		for (uint32_t n = lo; n <= hi; n++) {
			if ((n & 7) == 0 && hi - n >= 7) {
				b[n >> 3] = on ? 0xFF : 0x00;
				n += 7;
			} else if (on) {
				b[n >> 3] |= uint8_t(0x80u >> (n & 7));
			} else {
				b[n >> 3] &= uint8_t(~(0x80u >> (n & 7)));
			}
		}
	}

	void scalar(const Cell* v) {
		int64_t n = member_of(v, op);
		range(n, n);
	}

	void text(const Cell* v) {
		spans::Units u = spans::units_of(v);
		switch (op) {
		case Op::test:
			for (uint32_t i = 0; i < u.count; i++) {
				if (!has(bits, u.at(i))) return void(all = false);
			}
			return;
		case Op::set:
			// Members inside the bytes are set in place; the others go
			// through range(), which grows the set.
			for (uint32_t i = 0; i < u.count; i++) {
				uint32_t cp = u.at(i);
				Series* s = buffer(bits);
				if ((cp >> 3) < s->used()) s->head_ptr()[cp >> 3] |= uint8_t(0x80u >> (cp & 7));
				else range(cp, cp);
			}
			return;
		default:
			for (uint32_t i = 0; i < u.count; i++) {
				uint32_t cp = u.at(i);
				range(cp, cp);
			}
		}
	}

	bool is_dash(const Cell* v) {
		return cell::is(v, T_WORD) && symbol::same_name(v->data2, words::sym_dash);
	}

	// The values of a block in turn; `a - b` is a range. Nested blocks are
	// walked with an explicit stack: depth never reaches the C++ stack.
	void block(const Cell* v) {
		struct Position {
			Cell block;
			uint32_t index;
		};
		std::vector<Position> todo{{*v, 0}};
		while (!todo.empty() && (op != Op::test || all)) {
			Position& top = todo.back();
			spans::Cells items = spans::cells_of(&top.block);
			if (top.index >= items.count) {
				todo.pop_back();
				continue;
			}
			const Cell* item = items.head + top.index++;
			Type t = cell::type_of(item);
			if (t == T_BLOCK) {
				todo.push_back({*item, 0});
				continue;
			}
			if (t == T_CHAR || t == T_INTEGER) {
				if (top.index < items.count && is_dash(items.head + top.index)) {
					if (top.index + 1 >= items.count) errors::fire(errors::id::script_past_end);
					const Cell* end = items.head + top.index + 1;
					top.index += 2;
					if (cell::type_of(end) != t) errors::fire(errors::id::script_invalid_arg, end);
					int64_t lo = member_of(item, op), hi = member_of(end, op);
					if (hi < lo) errors::fire(errors::id::script_past_end);
					range(lo, hi);
					continue;
				}
				scalar(item);
			} else if (t == T_FLOAT) {
				scalar(item);
			} else if (spans::is_any_string(t)) {
				text(item);
			} else if (t == T_BINARY) {
				errors::fire(errors::id::internal_not_done);
			} else {
				refuse(item, caller);
			}
		}
	}

	bool test_value(const Cell* spec) {
		run(spec);
		return all;
	}

	void run(const Cell* spec) {
		Type t = cell::type_of(spec);
		if (is_member_type(t)) scalar(spec);
		else if (spans::is_any_string(t)) text(spec);
		else if (t == T_BLOCK) block(spec);
		else refuse(spec, caller);
	}
};

// One operand of a set operation: its bytes, then its fill.
struct Operand {
	const uint8_t* bytes;
	uint32_t count;
	uint8_t fill;
	uint8_t at(uint32_t i) const { return i < count ? bytes[i] : fill; }
};

// Writes op(a, b) byte by byte over the longer operand; answers whether
// the members past both (the fills) are in the result.
template <typename Op>
bool combine(uint8_t* r, const Operand& a, const Operand& b, Op op) {
	uint32_t common = std::min(a.count, b.count), n = std::max(a.count, b.count);
	for (uint32_t i = 0; i < common; i++) r[i] = op(a.bytes[i], b.bytes[i]);
	for (uint32_t i = common; i < n; i++) r[i] = op(a.at(i), b.at(i));
	return op(a.fill, b.fill) != 0;
}

// Tells the owning object about a change (before: the action word; after:
// its past tense). Unowned bitsets skip the table look-up.
void notify(const Cell* value, Cell* word) {
	if (buffer(value)->flags & SERIES_OWNED) ownership::check(value, word, 0, 0);
}

// ---- make and to ----

Cell* from_bytes(Cell* out, spans::Bytes bytes, bool negated) {
	make_at(out, bytes.count, false);
	Series* s = buffer(out);
	uint8_t* b = s->head_ptr();
	for (uint32_t i = 0; i < bytes.count; i++) b[i] = negated ? uint8_t(~bytes.head[i]) : bytes.head[i];
	if (negated) s->flags |= COMPLEMENT;
	return out;
}

Cell* build(Cell* proto, Cell* spec, Caller caller) {
	Cell source = *spec;
	bool negated = false;
	if (cell::is(spec, T_BLOCK)) {
		spans::Cells items = spans::cells_of(spec);
		if (items.count > 0 && cell::is(items.head, T_WORD) && symbol::same_name(items.head->data2, words::sym_not)) {
			negated = true;
			source.data1++;
			if (items.count > 1 && cell::is(items.head + 1, T_BINARY))
				return from_bytes(proto, spans::bytes_of(items.head + 1), true);
		}
	}
	Type t = cell::type_of(&source);
	if (!negated && (t == T_INTEGER || t == T_FLOAT)) {
		if (caller == Caller::to) refuse(spec, caller);
		double bits = t == T_INTEGER ? cell::get_integer(&source) : std::trunc(cell::get_double(&source));
		if (!(bits >= 0) || bits >= double(MEMBER_LIMIT)) errors::fire(errors::id::script_out_of_range, spec);
		return make_at(proto, uint32_t((int64_t(bits) + 7) / 8), false);
	}
	if (!negated && t == T_BITSET) {
		Cell copy;
		make_node_at(&copy, memory::copy_series(buffer(&source)));
		return cell::copy(&copy, proto);
	}
	if (!negated && t == T_BINARY) return from_bytes(proto, spans::bytes_of(&source), false);
	Worker measure{nullptr, Op::measure, caller};
	measure.run(&source);
	Cell result;
	make_at(&result, uint32_t(std::max<int64_t>((measure.highest + 8) / 8, 1)), negated);
	Worker{&result, negated ? Op::clear : Op::set, caller}.run(&source);
	return cell::copy(&result, proto);
}

Cell* make(Cell* proto, Cell* spec, Type) { return build(proto, spec, Caller::make); }
Cell* to(Cell* proto, Cell* spec, Type) { return build(proto, spec, Caller::to); }

// ---- form and mold ----

int32_t mold(const Cell* value, Cell* out, bool, bool, bool, const Cell*, int32_t part, int32_t) {
	static constexpr char HEX[] = "0123456789ABCDEF";
	bool negated = complemented(value);
	auto put = [&](std::string_view text) {
		if (part <= 0) return;
		string::append_literal(out, text);
		part -= int32_t(text.size());
	};
	put("make bitset! ");
	if (negated) put("[not ");
	put("#{");
	uint32_t count = byte_count(value);
	for (uint32_t i = 0; i < count && part > 0; i++) {
		uint8_t b = buffer(value)->head_ptr()[i];
		if (negated) b = uint8_t(~b);
		char digits[2] = {HEX[b >> 4], HEX[b & 15]};
		put({digits, 2});
	}
	put("}");
	if (negated) put("]");
	return part;
}

int32_t form(const Cell* value, Cell* out, const Cell* arg, int32_t part) {
	return mold(value, out, false, false, false, arg, part, 0);
}

// ---- comparison ----

int32_t compare(const Cell* value1, const Cell* value2, CompareOp op) {
	if (!cell::is(value2, T_BITSET)) return COMPARE_UNRELATED;
	if (op == COMP_SAME) return value1->data2 == value2->data2 ? 0 : 1;
	uint32_t n1 = byte_count(value1), n2 = byte_count(value2);
	if (n1 != n2) return n1 < n2 ? -1 : 1;
	bool c1 = complemented(value1), c2 = complemented(value2);
	if (c1 != c2) return c1 ? 1 : -1;
	const uint8_t* a = buffer(value1)->head_ptr();
	const uint8_t* b = buffer(value2)->head_ptr();
	for (uint32_t i = n1; i-- > 0;) {
		if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
	}
	return 0;
}

// ---- whole-set operations ----

Cell* complement(Cell* value) {
	Node node = memory::copy_series(buffer(value));
	Series* s = memory::series(node);
	for (uint8_t* b = s->head_ptr(); b < s->tail_ptr(); b++) *b = uint8_t(~*b);
	s->flags ^= COMPLEMENT;
	return make_node_at(value, node);
}

template <int32_t Code>
Cell* bitwise() {
	return do_bitwise(Code);
}

// ---- series actions ----

Cell* insert(Cell* series, Cell* value, int32_t, bool, int32_t, bool) {
	notify(series, words::w_insert);
	Worker{series, Op::set, Caller::action}.run(value);
	notify(series, words::w_inserted);
	return series;
}

Cell* clear(Cell* series) {
	notify(series, words::w_clear);
	Series* s = buffer(series);
	std::memset(s->head_ptr(), fill_of(series), s->used());
	notify(series, words::w_cleared);
	return series;
}

Cell* copy(Cell* value, Cell* out, const Cell*, bool, const Cell*) {
	return make_node_at(out, memory::copy_series(buffer(value)));
}

Cell* find(Cell* series, Cell* value, const Cell*, bool, bool, bool, bool, const Cell*, const Cell*, bool, bool,
	bool, bool) {
	bool found = Worker{series, Op::test, Caller::action}.test_value(value);
	return cell::copy(found ? &constants::true_cell : &constants::none_cell, series);
}

int32_t length_q(Cell* value) {
	uint64_t bits = uint64_t(byte_count(value)) * 8;
	return bits > 0x7FFFFFFF ? 0x7FFFFFFF : int32_t(bits);
}

Cell* pick(Cell* series, int32_t, const Cell* boxed) {
	bool found = Worker{series, Op::test, Caller::action}.test_value(boxed);
	return cell::copy(constants::logic_cell(found), series);
}

bool clears(const Cell* v) {
	switch (cell::type_of(v)) {
	case T_NONE: return true;
	case T_LOGIC: return v->data1 == 0;
	case T_INTEGER: return cell::get_integer(v) == 0;
	case T_FLOAT: return cell::get_double(v) == 0.0;
	default: return false;
	}
}

Cell* poke(Cell* series, int32_t, const Cell* boxed, Cell* value) {
	notify(series, words::w_poke);
	Worker{series, clears(value) ? Op::clear : Op::set, Caller::action}.run(boxed);
	notify(series, words::w_poked);
	return value;
}

Cell* remove(Cell* series, const Cell* part, const Cell*) {
	if (!part) errors::fire(errors::id::script_missing_arg);
	notify(series, words::w_remove);
	// The bytes hold membership whatever the flag: removing always clears.
	Worker{series, Op::clear, Caller::action}.run(part);
	notify(series, words::w_removed);
	return series;
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell*, Cell*, Cell*, int32_t, bool, bool, bool, bool) {
	Type t = cell::type_of(element);
	if (t != T_INTEGER && t != T_CHAR) datatype::fire_type(errors::id::script_invalid_type, t);
	if (value) return poke(parent, 0, element, value);
	return pick(parent, 0, element);
}

Cell* reflect(Cell* value, uint32_t field) {
	if (!symbol::same_name(field, words::sym_owned)) errors::fire(errors::id::internal_not_done);
	Cell* owner = ownership::find_owner(value->data2);
	return cell::copy(owner ? owner : &constants::none_cell, value);
}

Cell* modify(Cell* target, Cell* field, Cell* value, bool) {
	if (!word::is_any_word(cell::type_of(field)) || !symbol::same_name(field->data2, words::sym_owned))
		errors::fire(errors::id::internal_not_done);
	if (cell::is(value, T_NONE)) {
		ownership::unbind(target);
	} else if (cell::is(value, T_BLOCK)) {
		spans::Cells items = spans::cells_of(value);
		if (items.count < 2) errors::fire(errors::id::script_invalid_arg, value);
		ownership::bind_owned(target, items.head, items.head + 1);
	} else {
		errors::fire(errors::id::script_invalid_arg, value);
	}
	return target;
}

}  // namespace

Cell* make_at(Cell* out, uint32_t bytes, bool complement) {
	Node node = memory::alloc_filled_bytes(bytes, complement ? 0xFF : 0x00);
	Series* s = memory::series(node);
	s->tail = s->head + bytes;
	if (complement) s->flags |= COMPLEMENT;
	return make_node_at(out, node);
}

int64_t process(const Cell* spec, Cell* bits, Op op, Caller caller) {
	Worker w{bits, op, caller};
	w.run(spec);
	if (op == Op::measure) return w.highest;
	if (op == Op::test) return w.all ? 1 : 0;
	return 0;
}

Cell* do_bitwise(int32_t code) {
	Cell* left = stack::arguments;
	Cell* right = left + 1;
	if (code == 8) return left;
	if (!cell::is(right, T_BITSET)) datatype::fire_type(errors::id::script_invalid_type, cell::type_of(right));
	// Each operand reads as its own fill past its bytes; the flags combine
	// by the same operation, so the result holds the exact set.
	uint32_t n1 = byte_count(left), n2 = byte_count(right);
	Cell result;
	make_at(&result, std::max(n1, n2), false);
	Operand a{buffer(left)->head_ptr(), n1, fill_of(left)};
	Operand b{buffer(right)->head_ptr(), n2, fill_of(right)};
	uint8_t* r = buffer(&result)->head_ptr();
	bool flag;
	switch (code) {
	case 5: case 9: flag = combine(r, a, b, [](uint8_t x, uint8_t y) { return uint8_t(x | y); }); break;
	case 6: case 10: flag = combine(r, a, b, [](uint8_t x, uint8_t y) { return uint8_t(x & y); }); break;
	case 7: case 12: flag = combine(r, a, b, [](uint8_t x, uint8_t y) { return uint8_t(x ^ y); }); break;
	default: flag = combine(r, a, b, [](uint8_t x, uint8_t y) { return uint8_t(x & ~y); }); break;  // exclude
	}
	if (flag) buffer(&result)->flags |= COMPLEMENT;
	*left = result;
	return left;
}

void init_type() {
	ActionRow row{};
	row.make = make;
	row.reflect = reflect;
	row.to = to;
	row.form = form;
	row.mold = mold;
	row.eval_path = eval_path;
	row.compare = compare;
	row.negate = complement;
	row.and_t = bitwise<6>;
	row.complement = complement;
	row.or_t = bitwise<5>;
	row.xor_t = bitwise<7>;
	row.append = insert;
	row.clear = clear;
	row.copy = copy;
	row.find = find;
	row.insert = insert;
	row.length_q = length_q;
	row.pick = pick;
	row.poke = poke;
	row.remove = remove;
	row.modify = modify;
	registry::register_type(T_BITSET, Type(0), "bitset!", row);
}

}  // namespace vyn::bitset
