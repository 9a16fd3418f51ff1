// Modification of binary! values: append, insert, change and trim, and the
// bytes a value stands for in them.
//
// append, insert and change write the value's bytes at the buffer's tail
// first (counted, room made once, then written), then move them into place.
// The bytes are thus read before anything they came from moves: a binary
// inserted into or changed with itself works from a snapshot of itself.
#include <algorithm>
#include <cstring>

#include "runtime/cycles.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/binary_internal.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/spans.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/utf8.h"

namespace vyn::binary {

namespace {

constexpr uint64_t UNLIMITED = ~uint64_t(0);

// Keeps a block on the cycle stack while its values are gathered, so a block
// holding itself ends in too-deep instead of recursing without end.
struct Walk {
	explicit Walk(Node node) { cycles::push(node); }
	~Walk() { cycles::pop(); }
	Walk(const Walk&) = delete;
	Walk& operator=(const Walk&) = delete;
};

// Gathers the bytes of values: counts them (out null) or writes them at out.
// `budget` caps the bytes taken in all.
struct Gather {
	uint8_t* out;
	bool forms;  // change: values without bytes of their own are formed
	uint64_t n = 0;
	uint64_t budget = UNLIMITED;

	void put(const uint8_t* p, uint64_t k) {
		if (k > budget) k = budget;
		if (out && k) std::memcpy(out + n, p, size_t(k));
		n += k;
		budget -= budget == UNLIMITED ? 0 : k;
	}
	bool spent() const { return budget == 0; }

	void code_point(uint32_t cp) {
		uint8_t b[4];
		put(b, unicode::encode_utf8(cp, b));
	}

	void text(Cell* value) {
		spans::Units u = spans::units_of(value);
		if (u.width == 1) {
			// Bytes below 0x80 are their own UTF-8: copy runs of them whole.
			uint32_t i = 0;
			while (i < u.count && !spent()) {
				uint32_t j = i;
				while (j < u.count && u.head[j] < 0x80) j++;
				put(u.head + i, j - i);
				if (j < u.count) code_point(u.head[j++]);
				i = j;
			}
			return;
		}
		for (uint32_t i = 0; i < u.count && !spent(); i++) code_point(u.at(i));
	}

	void value(Cell* v) {
		if (spent()) return;
		Type t = cell::type_of(v);
		switch (t) {
		case T_CHAR: code_point(v->data2); return;
		case T_INTEGER: {
			int32_t i = cell::get_integer(v);
			if (i < -128 || i > 255) errors::fire(errors::id::script_invalid_arg, v);
			uint8_t b = uint8_t(uint32_t(i));
			put(&b, 1);
			return;
		}
		case T_BINARY: {
			spans::Bytes b = spans::bytes_of(v);
			put(b.head, b.count);
			return;
		}
		case T_TUPLE: put(tuple::bytes_of(v), tuple::size_of(v)); return;
		case T_BLOCK: case T_PAREN: case T_HASH: {
			Walk walk(v->data2);
			spans::Cells cells = spans::cells_of(v);
			for (uint32_t i = 0; i < cells.count && !spent(); i++) {
				// Re-read the block each time: nothing here grows it, but a
				// formed value may allocate.
				Cell item = spans::cells_of(v).head[i];
				value(&item);
			}
			return;
		}
		default:
			if (spans::is_any_string(t)) {
				text(v);
				return;
			}
			if (!forms) datatype::fire_type(errors::id::script_bad_to_arg, T_BINARY, v);
			Cell formed;
			string::make_at(&formed, 16);
			actions::form(v, &formed, nullptr, 0x7FFFFFFF);
			text(&formed);
			return;
		}
	}
};

// Gathers the bytes of a value under append's /part and /only rules: a
// block's part counts its values, or bytes with /only; a single value's
// part counts bytes.
void gather(Gather& g, Cell* value, int32_t part, bool only) {
	if (!spans::is_block_like(cell::type_of(value))) {
		if (part >= 1) g.budget = uint64_t(part);
		g.value(value);
		return;
	}
	Walk walk(value->data2);
	uint32_t count = spans::cells_of(value).count;
	if (part >= 0) {
		if (only)
			g.budget = uint64_t(part);
		else
			count = std::min(count, uint32_t(part));
	}
	for (uint32_t i = 0; i < count && !g.spent(); i++) {
		Cell item = spans::cells_of(value).head[i];
		g.value(&item);
	}
}

// Writes the value's bytes dup times at the buffer's tail without moving the
// tail; answers the bytes written. Room is made once, for all of them.
uint32_t stage(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool forms) {
	Gather counter{nullptr, forms};
	gather(counter, value, part, only);
	uint64_t once = counter.n;
	if (once == 0) return 0;
	uint64_t copies = dup > 1 ? uint64_t(dup) : 1;
	Series* s = memory::buffer_of(series);
	uint64_t total = once * copies;
	if (total > MAX_BYTES || uint64_t(s->used()) + total > MAX_BYTES) errors::fire(errors::id::internal_no_memory);
	s = make_room(series, total);
	Gather writer{s->tail_ptr(), forms};
	gather(writer, value, part, only);
	if (copies > 1) memory::repeat_copy(s->tail_ptr(), size_t(once), size_t(copies));
	return uint32_t(total);
}

}  // namespace

Series* make_room(Cell* value, uint64_t extra) {
	Series* s = memory::buffer_of(value);
	uint64_t need = uint64_t(s->used()) + extra;
	if (uint64_t(s->head) + need <= s->size) return s;
	if (need > MAX_BYTES) errors::fire(errors::id::internal_no_memory);
	// Twice the old size on top of what is needed keeps repeated appends linear.
	uint64_t grown = std::min<uint64_t>(extra + 2 * uint64_t(s->size), MAX_BYTES);
	return memory::expand_copy(s, uint32_t(std::max(grown, need)));
}

uint8_t* append_bytes(Cell* value, const uint8_t* bytes, uint32_t count) {
	Series* s = make_room(value, count);
	uint8_t* at = s->tail_ptr();
	if (count) std::memcpy(at, bytes, count);
	s->tail += count;
	return at;
}

uint8_t* insert_bytes(Cell* value, uint32_t offset, const uint8_t* bytes, uint32_t count) {
	uint32_t at = std::min(value->data1 + uint64_t(offset), uint64_t(memory::buffer_of(value)->used()));
	Series* s = make_room(value, count);
	uint8_t* p = s->head_ptr() + at;
	std::memmove(p + count, p, s->used() - at);
	if (count) std::memcpy(p, bytes, count);
	s->tail += count;
	return p;
}

Cell* insert(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append) {
	uint32_t head = std::min(series->data1, memory::buffer_of(series)->used());
	series->data1 = head;
	uint32_t tail = memory::buffer_of(series)->used();
	bool at_tail = append || head >= tail;
	uint32_t at = at_tail ? tail : head;
	string::notify(series, append ? "append" : "insert", at, 0);
	tail = memory::buffer_of(series)->used();
	if (at > tail) at = tail;
	uint32_t added = stage(series, value, part, only, dup, false);
	Series* s = memory::buffer_of(series);
	s->tail += added;
	if (!at_tail && added) string::rotate_blocks(s->head_ptr() + at, tail - at, added);
	series->data1 = append ? 0 : at + added;
	string::notify(series, append ? "appended" : "inserted", at, added);
	return series;
}

Cell* change(Cell* series, Cell* value, int32_t part, bool only, int32_t dup) {
	uint32_t head = std::min(series->data1, memory::buffer_of(series)->used());
	series->data1 = head;
	string::notify(series, "change", head, 0);
	uint32_t tail = memory::buffer_of(series)->used();
	if (head > tail) head = tail;
	uint32_t added = stage(series, value, -1, only, dup, true);
	uint32_t remaining = tail - head;
	uint32_t replaced = std::min(remaining, part >= 0 ? uint32_t(part) : added);
	Series* s = memory::buffer_of(series);
	uint8_t* at = s->head_ptr() + head;
	uint8_t* staged = s->head_ptr() + tail;
	size_t rest = remaining - replaced;  // bytes kept after the replaced ones
	if (added <= replaced) {
		std::memmove(at, staged, added);
		std::memmove(at + added, at + replaced, rest);
	} else {
		// The first staged bytes go over the replaced ones; the others close
		// up behind them and rotate past the kept rest.
		std::memcpy(at, staged, replaced);
		std::memmove(staged, staged + replaced, added - replaced);
		string::rotate_blocks(at + replaced, rest, added - replaced);
	}
	s->tail = s->head + (tail - replaced + added);
	series->data1 = head + added;
	string::notify(series, "changed", head, added);
	return series;
}

Cell* trim(Cell* series, bool head, bool tail, bool automatic, bool lines, bool all, const Cell* with) {
	if (automatic || lines) errors::fire(errors::id::internal_not_done);
	uint32_t at = std::min(series->data1, memory::buffer_of(series)->used());
	series->data1 = at;
	string::notify(series, "trim", at, 0);
	if (with) {
		string::trim_with(series, with);
	} else {
		Series* s = memory::buffer_of(series);
		uint8_t* first = s->head_ptr() + std::min(at, s->used());
		uint8_t* end = s->tail_ptr();
		uint8_t* out = first;
		if (all) {
			for (uint8_t* p = first; p < end; p++)
				if (*p) *out++ = *p;
		} else {
			uint8_t* from = first;
			if (!(tail && !head))
				while (from < end && *from == 0) from++;
			if (!(head && !tail))
				while (end > from && end[-1] == 0) end--;
			std::memmove(out, from, size_t(end - from));
			out += end - from;
		}
		s->tail = uint32_t(out - s->data());
	}
	string::notify(series, "trimmed", at, vs_length(series));
	return series;
}

}  // namespace vyn::binary
