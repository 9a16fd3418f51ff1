#include "runtime/io/serial_writer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>

#include "runtime/context.h"
#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/series.h"
#include "runtime/evaluator/stack.h"
#include "runtime/errors.h"
#include "runtime/io/byte_order.h"
#include "runtime/io/image_record.h"
#include "runtime/io/serial_records.h"
#include "runtime/memory.h"
#include "runtime/symbol.h"

namespace vyn::serial_writer {

namespace {

using namespace serial_records;

// From a key (a node handle or a symbol id, both dense small numbers) to a
// number: pages of slots indexed by the key itself, made when first needed.
// Keys met together are mostly near each other (series made one after the
// other), so lookups walk memory in order instead of hashing all over a
// large table. A slot is in use when it carries the current generation, so
// emptying the map is one increment, whatever its size.
class KeyMap {
public:
	// Empties the map; one that grew very large gives its pages back.
	void clear() {
		if (pages_made_ > RETAINED_PAGES) {
			pages_.clear();
			pages_.shrink_to_fit();
			pages_made_ = 0;
			generation_ = 1;
		} else if (++generation_ == 0) {
			for (auto& page : pages_)
				if (page)
					for (Slot& e : *page) e.generation = 0;
			generation_ = 1;
		}
	}

	uint32_t* find(uint32_t key) {
		size_t p = key >> PAGE_BITS;
		if (p >= pages_.size() || !pages_[p]) return nullptr;
		Slot& e = (*pages_[p])[key & PAGE_MASK];
		return e.generation == generation_ ? &e.value : nullptr;
	}

	// The key must be absent.
	void put(uint32_t key, uint32_t value) { slot(key) = Slot{value, generation_}; }

	// The value of a key already in; else puts `value` for it and answers null.
	uint32_t* claim(uint32_t key, uint32_t value) {
		Slot& e = slot(key);
		if (e.generation == generation_) return &e.value;
		e = Slot{value, generation_};
		return nullptr;
	}

private:
	struct Slot {
		uint32_t value;
		uint32_t generation;  // in use when equal to the map's
	};

	static constexpr uint32_t PAGE_BITS = 10;
	static constexpr uint32_t PAGE_MASK = (1u << PAGE_BITS) - 1;
	static constexpr size_t RETAINED_PAGES = 2048;  // 16 MB of slots
	using Page = std::array<Slot, size_t(1) << PAGE_BITS>;

	Slot& slot(uint32_t key) {
		size_t p = key >> PAGE_BITS;
		if (p >= pages_.size()) pages_.resize(std::max(p + 1, pages_.size() * 2));
		if (!pages_[p]) {
			pages_[p] = std::make_unique<Page>();
			pages_made_++;
		}
		return (*pages_[p])[key & PAGE_MASK];
	}

	std::vector<std::unique_ptr<Page>> pages_;
	size_t pages_made_ = 0;
	uint32_t generation_ = 1;
};

inline uint8_t* put_varint(uint8_t* p, uint32_t v) {
	while (v >= 0x80) {
		*p++ = uint8_t(v | 0x80);
		v >>= 7;
	}
	*p++ = uint8_t(v);
	return p;
}

// Byte runs of strings are mostly short: no library call for them.
inline void copy_bytes(uint8_t* to, const uint8_t* from, size_t n) {
	if (n > 16) return void(std::memcpy(to, from, n));
	if (n >= 8) {
		uint64_t a, b;
		std::memcpy(&a, from, 8);
		std::memcpy(&b, from + n - 8, 8);
		std::memcpy(to, &a, 8);
		std::memcpy(to + n - 8, &b, 8);
		return;
	}
	for (size_t i = 0; i < n; i++) to[i] = from[i];
}

// A byte buffer that grows geometrically. `room` hands out n bytes at the
// end; `reserve` answers where at least n bytes are free, and the writer
// `commit`s how far it wrote (one bounds check for a whole record).
class Out {
public:
	uint8_t* reserve(size_t n) {
		if (size_t(end_ - cur_) < n) grow(n);
		return cur_;
	}
	void commit(uint8_t* to) { cur_ = to; }
	uint8_t* room(size_t n) {
		uint8_t* p = reserve(n);
		cur_ = p + n;
		return p;
	}
	// Empties the buffer, keeping its room unless it grew past `retained`.
	void reset(size_t retained = SIZE_MAX) {
		if (capacity() > retained) {
			bytes_.reset();
			end_ = nullptr;
		}
		cur_ = bytes_.get();
	}
	void byte(uint8_t b) { *room(1) = b; }
	void bytes(const uint8_t* p, size_t n) {
		uint8_t* to = room(n);
		copy_bytes(to, p, n);
	}
	void word32(uint32_t v) { byte_order::store_le32(room(4), v); }
	void varint(uint32_t v) { commit(put_varint(reserve(5), v)); }
	size_t size() const { return size_t(cur_ - bytes_.get()); }
	const uint8_t* data() const { return bytes_.get(); }
	std::vector<uint8_t> take() const { return std::vector<uint8_t>(bytes_.get(), cur_); }

private:
	size_t capacity() const { return size_t(end_ - bytes_.get()); }

	void grow(size_t n) {
		size_t used = size();
		size_t cap = std::max(capacity() * 2, used + n + 256);
		std::unique_ptr<uint8_t[]> fresh(new uint8_t[cap]);
		if (used) std::memcpy(fresh.get(), bytes_.get(), used);
		bytes_ = std::move(fresh);
		cur_ = bytes_.get() + used;
		end_ = bytes_.get() + cap;
	}

	std::unique_ptr<uint8_t[]> bytes_;
	uint8_t* cur_ = nullptr;
	uint8_t* end_ = nullptr;
};

// A growable array of 32-bit words that skips std::vector's zero fill.
class Words {
public:
	uint32_t* extend(size_t n) {
		if (capacity_ - size_ < n) grow(n);
		uint32_t* p = data_.get() + size_;
		size_ += n;
		return p;
	}
	void push(uint32_t v) { *extend(1) = v; }
	uint32_t pop() { return data_[--size_]; }
	uint32_t operator[](size_t i) const { return data_[i]; }
	const uint32_t* data() const { return data_.get(); }
	size_t size() const { return size_; }
	// Empties the array, keeping its room unless it grew past `retained` words.
	void reset(size_t retained = SIZE_MAX) {
		size_ = 0;
		if (capacity_ > retained) {
			data_.reset();
			capacity_ = 0;
		}
	}

private:
	void grow(size_t n) {
		size_t cap = std::max(capacity_ * 2, size_ + n + 64);
		std::unique_ptr<uint32_t[]> fresh(new uint32_t[cap]);
		if (size_) std::memcpy(fresh.get(), data_.get(), size_ * sizeof(uint32_t));
		data_ = std::move(fresh);
		capacity_ = cap;
	}

	std::unique_ptr<uint32_t[]> data_;
	size_t size_ = 0;
	size_t capacity_ = 0;
};

// The output block's level has no entry.
constexpr uint32_t NO_ENTRY = UINT32_MAX;

inline uint32_t zigzag(int32_t n) { return (uint32_t(n) << 1) ^ uint32_t(n >> 31); }

inline uint32_t log2_of(uint32_t unit) { return uint32_t(__builtin_ctz(unit)); }

// Types whose records carry a head index.
bool has_head(Type t) {
	return series::any_block(t) || series::any_string(t) || t == T_BINARY || t == T_VECTOR || t == T_IMAGE;
}

// A context that is global, or whose owner is a block, none or unset
// (contexts nothing can rebuild), is written as the global context.
bool global_like(Node ctx) {
	if (ctx == 0 || ctx == context::global) return true;
	Type o = cell::type_of(context::owner(ctx));
	return o == T_BLOCK || o == T_NONE || o == T_UNSET;
}

[[noreturn]] void refuse(const Cell* value) {
	Cell v = *value;
	cell::clear_new_line(&v);
	errors::fire(errors::id::access_no_codec, &v);
}

// The integer a float, time or percent is written as in the compact form,
// when it has one.
bool compact_number(Type t, double x, int32_t* n) {
	if (t == T_PERCENT) {
		if (!(x >= -COMPACT_PERCENT_LIMIT && x <= COMPACT_PERCENT_LIMIT)) return false;
		double r = std::round(x * 100.0);
		if (r / 100.0 != x) return false;
		*n = int32_t(r);
	} else {
		if (!(x >= -COMPACT_FLOAT_LIMIT && x <= COMPACT_FLOAT_LIMIT)) return false;
		*n = int32_t(x);
		if (double(*n) != x) return false;
	}
	return *n != 0 || !std::signbit(x);
}

// The writer's buffers and tables live for the process and are emptied at
// the start and the end of every encode, so their pages stay in use from
// one encode to the next while no state passes between them.
struct State {
	Out out;
	KeyMap symbols;
	std::vector<uint32_t> name_offsets;
	std::vector<uint8_t> names;
	Words levels;  // position and entry of each level around the current one
	Words paths;   // entries: the enclosing level's entry, then the position
	Words trail;   // a path being written, from its end
	KeyMap seen;   // node -> its entry in paths

	static constexpr size_t RETAINED_BYTES = size_t(16) << 20;

	void reset() {
		out.reset(RETAINED_BYTES);
		symbols.clear();
		seen.clear();
		name_offsets.clear();
		names.clear();
		levels.reset(RETAINED_BYTES / 4);
		paths.reset(RETAINED_BYTES / 4);
		trail.reset(RETAINED_BYTES / 4);
	}
};

State state;

// Empties the state when an encode starts and when it ends, even by an error.
struct Session {
	Session() { state.reset(); }
	~Session() { state.reset(); }
};

class Writer {
public:
	explicit Writer(bool compact) : compact_(compact) {}

	// Writes the records; answers the container's bytes before the payload
	// (the payload stays in the state's buffer).
	std::vector<uint8_t> run(const Cell* value) {
		value_record(value);
		return header();
	}

private:
	bool compact_;
	bool new_line_ = false;  // the next record header carries the new-line mark
	uint32_t position_ = 0;  // of the next record within the current level
	uint32_t level_entry_ = NO_ENTRY;  // the entry of the current level's owner
	Out& out_ = state.out;
	KeyMap& symbols_ = state.symbols;
	std::vector<uint32_t>& name_offsets_ = state.name_offsets;
	std::vector<uint8_t>& names_ = state.names;
	Words& levels_ = state.levels;
	Words& paths_ = state.paths;
	Words& trail_ = state.trail;
	KeyMap& seen_ = state.seen;

	// ---- fields

	void field(uint32_t v) {
		if (compact_)
			out_.varint(v);
		else
			out_.word32(v);
	}
	void signed_field(int32_t v) {
		if (compact_)
			out_.varint(zigzag(v));
		else
			out_.word32(uint32_t(v));
	}
	void zero_pad4() {
		while (out_.size() & 3) out_.byte(0);
	}

	// Record start: the compact lead byte (with the reference prefix and the
	// type's flag) or the fixed header word (with its bits).
	void begin(Type t, bool flag, uint32_t fixed_bits, bool reference = false) {
		if (compact_) {
			if (reference) out_.byte(PREFIX_REFERENCE);
			out_.byte(uint8_t(t | (flag ? LEAD_FLAG : 0)));
		} else {
			out_.word32(t | fixed_bits | (reference ? FIXED_REFERENCE : 0) | (new_line_ ? FIXED_NEW_LINE : 0));
		}
		new_line_ = false;
	}

	// The positions from the output block down to the entry's place.
	void path(uint32_t entry) {
		trail_.reset();
		for (uint32_t e = entry; e != NO_ENTRY; e = paths_[e]) trail_.push(paths_[e + 1]);
		uint32_t n = uint32_t(trail_.size());
		if (compact_) {
			out_.varint(n);
			for (uint32_t i = n; i-- > 0;) out_.varint(trail_[i]);
		} else {
			out_.word32(FIXED_PATH);
			out_.word32(n);
			for (uint32_t i = n; i-- > 0;) out_.word32(trail_[i]);
		}
	}

	uint32_t symbol_index(uint32_t sym) {
		uint32_t index = uint32_t(name_offsets_.size());
		if (uint32_t* at = symbols_.claim(sym, index)) return *at;
		size_t start = names_.size();
		name_offsets_.push_back(uint32_t(start));
		std::string_view name = symbol::name(sym);
		// The 0 byte, and in the fixed-width form zeros up to a multiple of 8.
		size_t room = compact_ ? name.size() + 1 : (name.size() + 8) & ~size_t(7);
		names_.resize(start + room);
		std::memcpy(names_.data() + start, name.data(), name.size());
		return index;
	}

	// ---- levels and the seen table

	// Remembers where the node is written and opens the level of its contents.
	void enter(Node node) {
		uint32_t entry = remember_path();
		seen_.put(node, entry);
		open_level(entry);
	}

	// The entry of the record about to be written: the current level's entry
	// and the position within it. A path is the chain of entries up to the
	// output block, so remembering one costs the same at any depth.
	uint32_t remember_path() {
		uint32_t entry = uint32_t(paths_.size());
		uint32_t* p = paths_.extend(2);
		p[0] = level_entry_;
		p[1] = position_;
		return entry;
	}
	// Opens the level of the contents of the record whose entry is given.
	void open_level(uint32_t entry) {
		stack::guard_native_stack();
		uint32_t* p = levels_.extend(2);
		p[0] = position_;
		p[1] = level_entry_;
		position_ = 0;
		level_entry_ = entry;
	}
	void leave() {
		level_entry_ = levels_.pop();
		position_ = levels_.pop();
	}

	// Writes a record that stands in for its container's position: the
	// native's spec, the op's function.
	void inner_record(const Cell* value) {
		uint32_t keep = position_;
		value_record(value);
		position_ = keep;
	}

	// ---- records

	void value_record(const Cell* v) {
		Type t = cell::type_of(v);
		new_line_ = cell::new_line(v);
		if (compact_ && new_line_) out_.byte(PREFIX_NEW_LINE);
		switch (t) {
		case T_UNSET: case T_NONE: begin(t, false, 0); break;
		case T_LOGIC:
			if (compact_) {
				out_.byte(v->data1 ? LEAD_TRUE : LEAD_FALSE);
				new_line_ = false;
			} else {
				begin(t, false, 0);
				out_.word32(v->data1);
			}
			break;
		case T_DATATYPE: begin(t, false, 0); field(v->data1); break;
		case T_CHAR: begin(t, false, 0); field(v->data2); break;
		case T_INTEGER: integer(v); break;
		case T_FLOAT: case T_TIME: case T_PERCENT: number(v, t); break;
		case T_PAIR:
			begin(t, false, 0);
			signed_field(int32_t(v->data2));
			signed_field(int32_t(v->data3));
			break;
		case T_POINT2D:
			begin(t, false, 0);
			out_.word32(v->data1);
			out_.word32(v->data2);
			break;
		case T_POINT3D: begin(t, false, 0); payload_words(v); break;
		case T_DATE: date(v); break;
		case T_TYPESET: typeset(v); break;
		case T_TUPLE: tuple(v); break;
		case T_MONEY: money(v); break;
		case T_ISSUE: begin(t, false, 0); field(symbol_index(v->data2)); break;
		case T_WORD: case T_SET_WORD: case T_LIT_WORD: case T_GET_WORD: case T_REFINEMENT: word(v, t); break;
		case T_BLOCK: case T_PAREN: case T_PATH: case T_LIT_PATH: case T_SET_PATH: case T_GET_PATH:
		case T_HASH: case T_MAP: case T_STRING: case T_FILE: case T_URL: case T_TAG: case T_EMAIL: case T_REF:
		case T_BINARY: case T_VECTOR: case T_BITSET: case T_IMAGE:
			series_value(v, t);
			break;
		case T_NATIVE: case T_ACTION: {
			begin(t, false, 0);
			field(v->data1 + 1);
			Cell spec{T_BLOCK, 0, v->data2, 0};
			inner_record(&spec);
			break;
		}
		case T_OP: {
			Type wrapped = Type((v->header >> 16) & 0xFF);
			if (wrapped != T_NATIVE && wrapped != T_ACTION && wrapped != T_FUNCTION) refuse(v);
			begin(t, false, uint32_t(wrapped) << 16);
			Cell inner = *v;
			inner.header = wrapped;
			inner_record(&inner);
			break;
		}
		case T_OBJECT: case T_FUNCTION: context_value(v, t); break;
		case T_ERROR: error(v); break;
		default: refuse(v);
		}
		position_++;
	}

	void integer(const Cell* v) {
		int32_t n = cell::get_integer(v);
		if (compact_ && n >= 0 && n < 64) {
			out_.byte(uint8_t(LEAD_SMALL_INTEGER + n));
			new_line_ = false;
			return;
		}
		begin(T_INTEGER, false, 0);
		signed_field(n);
	}

	void number(const Cell* v, Type t) {
		double x = cell::get_double(v);
		if (!compact_) {
			if (out_.size() & 7) out_.word32(0);
			begin(t, false, 0);
			out_.word32(v->data3);
			out_.word32(v->data2);
			return;
		}
		int32_t n;
		bool integral = compact_number(t, x, &n);
		begin(t, integral, 0);
		if (integral) {
			out_.varint(zigzag(n));
		} else {
			out_.word32(v->data2);
			out_.word32(v->data3);
		}
	}

	void payload_words(const Cell* v) {
		out_.word32(v->data1);
		out_.word32(v->data2);
		out_.word32(v->data3);
	}

	void date(const Cell* v) {
		bool timed = date::has_time(v->data1);
		begin(T_DATE, timed, 0);
		out_.word32(v->data1);
		if (!compact_) {
			out_.word32(v->data3);
			out_.word32(v->data2);
		} else if (timed) {
			out_.word32(v->data2);
			out_.word32(v->data3);
		}
	}

	void typeset(const Cell* v) {
		begin(T_TYPESET, false, 0);
		if (!compact_) return payload_words(v);
		const auto* bytes = reinterpret_cast<const uint8_t*>(&v->data1);
		uint8_t n = 12;
		while (n > 0 && bytes[n - 1] == 0) n--;
		out_.byte(n);
		out_.bytes(bytes, n);
	}

	void tuple(const Cell* v) {
		uint32_t count = (v->header >> 19) & 0xF;
		begin(T_TUPLE, count != 3, count << 8);
		if (!compact_) return payload_words(v);
		if (count != 3) out_.byte(uint8_t(count));
		out_.bytes(reinterpret_cast<const uint8_t*>(&v->data1), count);
	}

	void money(const Cell* v) {
		bool negative = (v->header & money::SIGN_FLAG) != 0;
		begin(T_MONEY, negative, negative ? FIXED_MONEY_NEGATIVE : 0);
		if (compact_)
			out_.bytes(reinterpret_cast<const uint8_t*>(&v->data1), 12);
		else
			payload_words(v);
	}

	// Words: global ones carry their symbol; bound ones their context, by
	// path when it was met before, else with its owner written in full.
	void word(const Cell* v, Type t) {
		Node ctx = v->data1;
		uint32_t sym = symbol_index(v->data2);
		if (global_like(ctx)) {
			begin(t, false, FIXED_WORD_GLOBAL);
			field(sym);
			if (!compact_) out_.word32(v->data3);
			return;
		}
		if (uint32_t* at = seen_.find(ctx)) {
			begin(t, true, 0, true);
			field(sym);
			signed_field(int32_t(v->data3));
			path(*at);
			return;
		}
		Cell owner = *context::owner(ctx);
		Type o = cell::type_of(&owner);
		if (o != T_OBJECT && o != T_FUNCTION) refuse(v);
		enter(ctx);
		begin(t, true, 0);
		field(sym);
		signed_field(int32_t(v->data3));
		if (o == T_OBJECT)
			object_body(&owner);
		else
			function_body(&owner);
		leave();
	}

	void series_value(const Cell* v, Type t) {
		Node node = v->data2;
		Series* s = memory::series(node);
		bool headed = has_head(t);
		uint32_t head = headed ? v->data1 : 0;
		bool units = series::any_string(t) || t == T_BINARY || t == T_VECTOR;
		bool flag = t == T_BITSET ? (s->flags & bitset::COMPLEMENT) != 0 : head != 0;
		uint32_t fixed_bits = (units ? s->unit() << 8 : 0) | (t == T_BITSET && flag ? FIXED_COMPLEMENTED : 0);
		bool head_field = headed && (compact_ ? head != 0 : true);
		if (uint32_t* at = seen_.claim(node, uint32_t(paths_.size()))) {
			begin(t, flag, fixed_bits, true);
			if (head_field) field(head);
			return path(*at);
		}
		uint32_t entry = remember_path();
		if (compact_ && (series::any_string(t) || t == T_BINARY)) return compact_bytes(t, flag, head, s);
		begin(t, flag, fixed_bits);
		if (head_field) field(head);
		// Only containers open a level: strings and the like hold no records.
		if (series::any_block(t)) {
			open_level(entry);
			cells(s->head_cell(), s->tail_cell());
			leave();
		} else if (t == T_MAP) {
			open_level(entry);
			map(s);
			leave();
		} else if (t == T_VECTOR) {
			uint32_t count = series::units(s);
			if (compact_) {
				out_.byte(uint8_t((v->data3 << 2) | log2_of(s->unit())));
				out_.varint(count);
			} else {
				out_.word32(count);
				out_.word32(v->data3);
			}
			raw(s->head_ptr(), s->used());
		} else if (t == T_IMAGE) {
			image(v->data3, node);
		} else if (t == T_BITSET || t == T_BINARY) {
			field(s->used());
			raw(s->head_ptr(), s->used());
		} else {
			uint32_t count = series::units(s);
			field(compact_ ? (count << 2) + log2_of(s->unit()) : count);
			raw(s->head_ptr(), s->used());
		}
	}

	// An image's size and its pixel words, little-endian, row by row.
	void image(uint32_t size, Node record) {
		uint32_t width = image_record::width_of(size), height = image_record::height_of(size);
		if (compact_) {
			out_.varint(width);
			out_.varint(height);
		} else {
			out_.word32(size);
		}
		uint32_t n = width * height;
		uint8_t* p = out_.reserve(size_t(n) * 4);
		const uint32_t* pixels = image_record::pixels(record);
		for (uint32_t i = 0; i < n; i++) byte_order::store_le32(p + 4 * size_t(i), pixels[i]);
		out_.commit(p + size_t(n) * 4);
	}

	// A compact string or binary record, written with one bounds check.
	void compact_bytes(Type t, bool flag, uint32_t head, const Series* s) {
		uint32_t n = s->used();
		uint32_t count = t == T_BINARY ? n : (series::units(s) << 2) + log2_of(s->unit());
		uint8_t* p = out_.reserve(size_t(n) + 11);
		*p++ = uint8_t(t | (flag ? LEAD_FLAG : 0));
		if (head) p = put_varint(p, head);
		p = put_varint(p, count);
		copy_bytes(p, s->data() + s->head, n);
		out_.commit(p + n);
		new_line_ = false;
	}

	void raw(const uint8_t* p, size_t n) {
		out_.bytes(p, n);
		if (!compact_) zero_pad4();
	}

	void cells(const Cell* from, const Cell* to) {
		field(uint32_t(to - from));
		for (const Cell* c = from; c < to; c++)
			if (!compact_ || !compact_simple(c)) value_record(c);
	}

	// The compact records most blocks are made of, written here rather than
	// by the general record writer: small integers, words of the global
	// context, and blocks, strings and binaries met for the first time.
	// Answers false, having written nothing, for any other value.
	bool compact_simple(const Cell* c) {
		uint32_t h = c->header;
		Type t = cell::type_of(c);
		uint8_t* p;
		if ((series::any_string(t) || t == T_BINARY) && !(h & FLAG_NEW_LINE)) {
			if (seen_.claim(c->data2, uint32_t(paths_.size()))) return false;
			remember_path();
			compact_bytes(t, c->data1 != 0, c->data1, memory::series(c->data2));
			position_++;
			return true;
		}
		if (series::any_block(t)) {
			if (seen_.claim(c->data2, uint32_t(paths_.size()))) return false;
			uint32_t entry = remember_path();
			uint32_t head = c->data1;
			p = out_.reserve(7);
			if (h & FLAG_NEW_LINE) *p++ = PREFIX_NEW_LINE;
			*p++ = uint8_t(t | (head ? LEAD_FLAG : 0));
			if (head) p = put_varint(p, head);
			out_.commit(p);
			Series* s = memory::series(c->data2);
			open_level(entry);
			cells(s->head_cell(), s->tail_cell());
			leave();
			position_++;
			return true;
		}
		if (t == T_INTEGER && c->data2 < 64) {
			p = out_.reserve(2);
			if (h & FLAG_NEW_LINE) *p++ = PREFIX_NEW_LINE;
			*p++ = uint8_t(LEAD_SMALL_INTEGER + c->data2);
		} else if (t >= T_WORD && t <= T_REFINEMENT && (c->data1 == 0 || c->data1 == context::global)) {
			uint32_t index = symbol_index(c->data2);
			p = out_.reserve(7);
			if (h & FLAG_NEW_LINE) *p++ = PREFIX_NEW_LINE;
			*p++ = uint8_t(t);
			p = put_varint(p, index);
		} else {
			return false;
		}
		out_.commit(p);
		position_++;
		return true;
	}

	// Removed entries (value header 0) are left out.
	void map(Series* s) {
		const Cell* first = s->head_cell();
		const Cell* end = s->tail_cell();
		uint32_t n = 0;
		for (const Cell* c = first; c + 1 < end; c += 2)
			if (c[1].header != 0) n += 2;
		field(n);
		for (const Cell* c = first; c + 1 < end; c += 2) {
			if (c[1].header == 0) continue;
			value_record(c);
			value_record(c + 1);
		}
	}

	void context_value(const Cell* v, Type t) {
		Node ctx = v->data1;
		bool tracked = !global_like(ctx);
		if (tracked) {
			if (uint32_t* at = seen_.find(ctx)) {
				begin(t, false, 0, true);
				return path(*at);
			}
			enter(ctx);
		}
		if (t == T_OBJECT)
			object_body(v);
		else
			function_body(v);
		if (tracked) leave();
	}

	void object_body(const Cell* obj) {
		Node record = obj->data3;
		begin(T_OBJECT, record != 0, record ? FIXED_HANDLERS : 0);
		signed_field(int32_t(obj->data2));
		if (record) {
			// Each slot word is position << 16 | locals; no handler reads as
			// position -1.
			const Cell* slots = memory::series(record)->head_cell();
			signed_field(int32_t(slots[0].data2));
			signed_field(int32_t(slots[1].data2));
		}
		context_record(obj->data1, true);
	}

	void function_body(const Cell* fn) {
		Cell body = memory::series(fn->data3)->head_cell()[0];
		if (!cell::is(&body, T_BLOCK)) refuse(fn);
		begin(T_FUNCTION, false, 0);
		field(memory::series(fn->data2)->used() / sizeof(Cell));
		field(memory::buffer_of(&body)->used() / sizeof(Cell));
		context_record(fn->data1, false);
		Cell spec{T_BLOCK, 0, fn->data2, 0};
		value_record(&spec);
		cell::clear_new_line(&body);
		value_record(&body);
	}

	void context_record(Node ctx, bool with_values) {
		uint32_t h = context::header(ctx)->header;
		uint32_t kind = (h & context::KIND_MASK) >> context::KIND_SHIFT;
		bool stack = (h & context::FLAG_STACK) != 0;
		bool maker = (h & context::FLAG_MAKER) != 0;
		uint32_t n = context::word_count(ctx);
		const Cell* values = stack ? nullptr : context::values(ctx);
		bool any = false;
		if (with_values && values)
			for (uint32_t i = 0; i < n && !any; i++) any = !cell::is(values + i, T_UNSET);
		if (compact_) {
			out_.byte(T_CONTEXT);
			out_.byte(uint8_t(kind | (stack ? CONTEXT_STACK : 0) | (maker ? CONTEXT_MAKER : 0) |
				(any ? CONTEXT_VALUES : 0)));
		} else {
			out_.word32(T_CONTEXT | kind << FIXED_CONTEXT_KIND_SHIFT | (maker ? FIXED_CONTEXT_MAKER : 0) |
				(stack ? FIXED_CONTEXT_STACK : 0) | (any ? FIXED_CONTEXT_VALUES : 0));
		}
		field(n);
		for (uint32_t i = 0; i < n; i++) field(symbol_index(context::word_cell(ctx, i)->data2));
		if (any)
			for (uint32_t i = 0; i < n; i++) value_record(context::values(ctx) + i);
	}

	// An error opens a level for its context (words bound to it refer to it
	// by path) but is always written in full.
	void error(const Cell* v) {
		Node ctx = v->data1;
		const Cell* values = context::values(ctx);
		begin(T_ERROR, false, 0);
		field(uint32_t(cell::get_integer(values + error::CODE)));
		if (seen_.find(ctx))
			open_level(remember_path());
		else
			enter(ctx);
		for (uint32_t i = error::ARG1; i <= error::STACK; i++) value_record(context::values(ctx) + i);
		leave();
	}

	// ---- the container

	std::vector<uint8_t> header() {
		uint32_t n = uint32_t(name_offsets_.size());
		Out c;
		c.bytes(MAGIC, sizeof MAGIC);
		c.byte(VERSION);
		c.byte(uint8_t((compact_ ? FLAG_COMPACT : 0) | (n ? FLAG_SYMBOLS : 0)));
		auto head_field = [&](uint32_t v) {
			if (compact_)
				c.varint(v);
			else
				c.word32(v);
		};
		head_field(1);
		head_field(uint32_t(out_.size()));
		if (n) {
			head_field(n);
			head_field(uint32_t(names_.size()));
			for (uint32_t off : name_offsets_) c.word32(off);
			c.bytes(names_.data(), names_.size());
		}
		return c.take();
	}
};

}  // namespace

std::vector<uint8_t> encode_bytes(const Cell* value, bool compact) {
	Cell v = *value;
	Session session;
	std::vector<uint8_t> bytes = Writer(compact).run(&v);
	bytes.insert(bytes.end(), state.out.data(), state.out.data() + state.out.size());
	return bytes;
}

Cell* encode(const Cell* value, bool compact, Cell* out) {
	Cell v = *value;
	Session session;
	std::vector<uint8_t> head = Writer(compact).run(&v);
	uint64_t total = uint64_t(head.size()) + state.out.size();
	if (total > UINT32_MAX / 2) errors::fire(errors::id::internal_no_memory);
	Node node = memory::alloc_bytes(uint32_t(total));
	Series* s = memory::series(node);
	std::memcpy(s->head_ptr(), head.data(), head.size());
	if (state.out.size()) std::memcpy(s->head_ptr() + head.size(), state.out.data(), state.out.size());
	s->tail = s->head + uint32_t(total);
	cell::set(out, T_BINARY, 0, node);
	return out;
}

}  // namespace vyn::serial_writer
