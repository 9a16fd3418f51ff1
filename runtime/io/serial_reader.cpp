#include "runtime/io/serial_reader.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/collector.h"
#include "runtime/context.h"
#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/natives.h"
#include "runtime/evaluator/stack.h"
#include "runtime/io/byte_order.h"
#include "runtime/io/crush.h"
#include "runtime/io/image_record.h"
#include "runtime/io/serial_records.h"
#include "runtime/memory.h"
#include "runtime/symbol.h"

namespace vyn::serial_reader {

namespace {

using namespace serial_records;

constexpr uint32_t FUNCTION_KIND = 1;
constexpr uint32_t MORE_CELLS = 5;  // a function's more block (function.h)
constexpr int32_t NO_INDEX = -1;

// Where a record's value goes: cell `index` of a cell buffer. Addresses are
// re-derived from the node each time, since reading appends to buffers.
struct Slot {
	Node buffer;
	uint32_t index;
	Cell* at() const { return memory::series(buffer)->head_cell() + index; }
};

// A word whose owner record follows: the owner reader binds it as soon as
// the context exists, before reading the context's values.
struct Binding {
	Slot slot;
	Type type;
	uint32_t symbol;
	int32_t index;
};

struct ContextInfo {
	Node ctx;
	uint32_t count;
	bool values;  // value records follow
};

bool holds_cells(Type t) {
	return series::any_block(t) || t == T_NATIVE || t == T_ACTION || t == T_OP || t == T_FUNCTION || t == T_ROUTINE;
}

bool is_refused(uint32_t id) {
	return id == T_ROUTINE || id == T_TRIPLE || id == T_HANDLE || id == T_PORT || id == T_EVENT;
}

class Reader {
public:
	Reader(const uint8_t* data, size_t bias, Mode mode) : data_(data), bias_(bias), codec_(mode == Mode::codec) {}

	// Reads the header after the flags byte and the payload's records.
	const uint8_t* run(const uint8_t* p, const uint8_t* end, uint8_t flags, Node out) {
		p_ = p;
		end_ = end;
		compact_ = (flags & FLAG_COMPACT) != 0;
		out_ = out;
		header(flags);
		payload_start_ = p_;
		const uint8_t* payload_end = p_ + payload_length_;
		end_ = payload_end;
		while (p_ < payload_end) record(out_, NO_INDEX);
		return p_;
	}

private:
	const uint8_t* data_;  // positions count from here, plus bias_
	size_t bias_;
	bool codec_;
	bool compact_ = true;
	const uint8_t* p_ = nullptr;
	const uint8_t* end_ = nullptr;
	const uint8_t* payload_start_ = nullptr;
	uint32_t payload_length_ = 0;
	Node out_ = 0;
	const uint8_t* offsets_ = nullptr;
	const uint8_t* names_ = nullptr;
	uint32_t symbol_count_ = 0;
	uint32_t names_size_ = 0;
	std::vector<uint32_t> interned_;
	// Per symbol-table entry: the global word's context and index once
	// looked up (nothing evaluates during a decode, so they hold).
	struct GlobalWord {
		Node ctx;
		uint32_t index;
	};
	std::vector<GlobalWord> globals_;
	uint32_t symbol_at_ = 0;  // table index of the last symbol read
	// References to a map whose index did not exist yet (made while the map
	// was read): they get its index once it is made.
	std::vector<std::pair<Node, Slot>> map_references_;

	// ---- primitives

	[[noreturn]] void corrupt(const uint8_t* at) const {
		Cell n;
		cell::make_integer(&n, int32_t(size_t(at - data_) + bias_ + 1));
		errors::fire(errors::id::script_vb_invalid_record, &n);
	}

	void need(uint64_t n) const {
		if (n > uint64_t(end_ - p_)) corrupt(p_);
	}
	uint8_t byte() {
		if (p_ >= end_) corrupt(p_);
		return *p_++;
	}
	uint32_t word32() {
		need(4);
		uint32_t v = byte_order::load_le32(p_);
		p_ += 4;
		return v;
	}
	uint32_t varint() {
		uint32_t v = 0;
		for (int i = 0; i < 5; i++) {
			if (p_ >= end_) corrupt(p_);
			uint8_t b = *p_;
			if (i == 4 && (b & 0xF0)) corrupt(p_);
			p_++;
			v |= uint32_t(b & 0x7F) << (7 * i);
			if (!(b & 0x80)) return v;
		}
		return v;
	}
	uint32_t field() { return compact_ ? varint() : word32(); }
	int32_t signed_field() {
		if (!compact_) return int32_t(word32());
		uint32_t v = varint();
		return int32_t((v >> 1) ^ (0u - (v & 1)));
	}
	const uint8_t* take(uint64_t n) {
		need(n);
		const uint8_t* at = p_;
		p_ += n;
		return at;
	}
	// Fixed-width byte runs end on a multiple of 4 from the payload start.
	void skip_pad() {
		if (compact_) return;
		while ((p_ - payload_start_) & 3) byte();
	}

	uint32_t symbol() {
		const uint8_t* at = p_;
		uint32_t i = field();
		if (!offsets_ || i >= symbol_count_) corrupt(at);
		symbol_at_ = i;
		if (interned_[i]) return interned_[i];
		uint32_t off = byte_order::load_le32(offsets_ + 4 * size_t(i));
		if ((off & 0x80000000u) || off >= names_size_) corrupt(at);
		const char* name = reinterpret_cast<const char*>(names_ + off);
		size_t len = std::strlen(name);  // the area ends with a 0 byte
		if (len == 0) corrupt(at);
		return interned_[i] = symbol::make_sized(name, uint32_t(len));
	}

	// ---- the container

	void header(uint8_t flags) {
		field();  // root count
		payload_length_ = field();
		if (flags & FLAG_SYMBOLS) {
			symbol_count_ = field();
			names_size_ = field();
			need(4 * uint64_t(symbol_count_) + names_size_);
			offsets_ = p_;
			names_ = p_ + 4 * size_t(symbol_count_);
			if (names_size_ > 0 && names_[names_size_ - 1] != 0) corrupt(names_ + names_size_ - 1);
			p_ = names_ + names_size_;
			interned_.assign(symbol_count_, 0);
			globals_.assign(symbol_count_, GlobalWord{0, 0});
		}
		if (payload_length_ > uint64_t(end_ - p_)) corrupt(p_);
	}

	// ---- slots

	// Container records reserve their cells, so appending rarely grows.
	Slot place(Node into, int32_t index) {
		if (index >= 0) return Slot{into, uint32_t(index)};
		Series* s = memory::series(into);
		if (s->tail + sizeof(Cell) <= s->size) {
			cell::make_unset(s->tail_cell());
			s->tail += sizeof(Cell);
		} else {
			s = memory::series(into);
			memory::alloc_at_tail(s);
			s = memory::series(into);
		}
		return Slot{into, s->used() / uint32_t(sizeof(Cell)) - 1};
	}

	// ---- records

	// Appends one value to `into` (index NO_INDEX) or writes it over cell
	// `index`.
	void record(Node into, int32_t index) {
		stack::guard_native_stack();
		const uint8_t* at = p_;
		if (!compact_) return fixed_record(into, index);
		bool new_line = false, reference = false, set = false;
		for (;;) {
			if (p_ >= end_) corrupt(p_);
			uint8_t b = *p_;
			if (b == PREFIX_NEW_LINE)
				new_line = true;
			else if (b == PREFIX_REFERENCE)
				reference = true;
			else if (b == PREFIX_SET && !codec_)
				set = true;
			else
				break;
			p_++;
		}
		const uint8_t* lead_at = p_;
		uint8_t lead = byte();
		if (set && index >= 0) corrupt(at);
		Slot slot = place(into, index);
		if (lead >= 0x80) {
			if (reference || set) corrupt(lead_at);
			Cell* c = slot.at();
			if (lead < 0xC0)
				cell::make_integer(c, lead - LEAD_SMALL_INTEGER);
			else if (lead == LEAD_TRUE || lead == LEAD_FALSE)
				cell::make_logic(c, lead == LEAD_TRUE);
			else if (lead == LEAD_WHOLE_REFERENCE)
				whole_reference(slot);
			else
				corrupt(lead_at);
		} else {
			uint32_t id = lead & LEAD_ID_MASK;
			bool flag = (lead & LEAD_FLAG) != 0;
			if (id == LEAD_ID_ESCAPE) id = varint();
			if (set && (id < T_WORD || id > T_REFINEMENT)) corrupt(lead_at);
			typed(slot, id, flag, flag ? 1u : 0u, reference, lead_at);
		}
		if (new_line) slot.at()->header |= FLAG_NEW_LINE;
		if (set) assign(into, slot);
	}

	void fixed_record(Node into, int32_t index) {
		uint32_t h;
		const uint8_t* at;
		for (;;) {
			// Padding may also end the payload.
			if (index < 0 && into == out_ && p_ == end_) return;
			at = p_;
			h = word32();
			if ((h & 0xFF) != FIXED_PADDING) break;
		}
		Slot slot = place(into, index);
		uint32_t id = h & 0xFF;
		// An op's bits 16-23 hold the wrapped type (function! sets bit 19);
		// an op is never a reference.
		bool reference = id != T_OP && (h & FIXED_REFERENCE) != 0;
		if (id == FIXED_PATH) {
			p_ = at;
			whole_reference(slot);
		} else {
			typed(slot, id, false, h, reference, at);
		}
		if (h & FIXED_NEW_LINE) slot.at()->header |= FLAG_NEW_LINE;
	}

	// The word in `slot` takes the value of the next record; neither stays.
	void assign(Node into, Slot word_slot) {
		Slot value = place(into, NO_INDEX);
		record(into, int32_t(value.index));
		Cell w = *word_slot.at();
		Cell v = *value.at();
		cell::clear_new_line(&v);
		if (w.data1 == 0) corrupt(p_);
		context::set_in(&w, &v, w.data1, false);
		memory::series(into)->tail -= 2 * uint32_t(sizeof(Cell));
	}

	// `flag` is the compact lead's flag bit, `bits` the fixed header word.
	void typed(Slot slot, uint32_t id, bool flag, uint32_t bits, bool reference, const uint8_t* at) {
		if (reference && !takes_reference(id)) corrupt(at);
		Cell* c = slot.at();
		switch (id) {
		case T_DATATYPE: {
			uint32_t t = field();
			if (t == 0 || t >= TYPE_COUNT) corrupt(at);
			cell::set(c, T_DATATYPE, t);
			return;
		}
		case T_UNSET: case T_NONE: cell::set(c, Type(id)); return;
		case T_LOGIC:
			if (compact_) corrupt(at);
			cell::make_logic(c, word32() != 0);
			return;
		case T_CHAR: {
			uint32_t cp = field();
			if (cp > 0x10FFFF) corrupt(at);
			cell::set(c, T_CHAR, 0, cp);
			return;
		}
		case T_INTEGER: cell::make_integer(c, signed_field()); return;
		case T_FLOAT: case T_TIME: case T_PERCENT: return number(slot, Type(id), flag);
		case T_PAIR: {
			int32_t x = signed_field();
			int32_t y = signed_field();
			cell::set(slot.at(), T_PAIR, 0, uint32_t(x), uint32_t(y));
			return;
		}
		case T_POINT2D: {
			uint32_t x = word32();
			uint32_t y = word32();
			cell::set(slot.at(), T_POINT2D, x, y);
			return;
		}
		case T_POINT3D: return payload(slot, T_POINT3D);
		case T_DATE: return date(slot, flag, at);
		case T_TYPESET: return typeset(slot, at);
		case T_TUPLE: return tuple(slot, flag, bits, at);
		case T_MONEY: return money(slot, compact_ ? flag : (bits & FIXED_MONEY_NEGATIVE) != 0, at);
		case T_ISSUE: issue::make_at(slot.at(), symbol()); return;
		case T_WORD: case T_SET_WORD: case T_LIT_WORD: case T_GET_WORD: case T_REFINEMENT:
			return word(slot, Type(id), compact_ ? flag : !(bits & FIXED_WORD_GLOBAL), bits, reference, at);
		case T_CONTEXT: return standalone_context(slot, bits, at);
		case T_BLOCK: case T_PAREN: case T_PATH: case T_LIT_PATH: case T_SET_PATH: case T_GET_PATH: case T_HASH:
			return block(slot, Type(id), flag, reference);
		case T_MAP: return map(slot, reference, at);
		case T_STRING: case T_FILE: case T_URL: case T_TAG: case T_EMAIL: case T_REF: case T_BINARY:
			return bytes(slot, Type(id), flag, bits, reference, at);
		case T_VECTOR: return vector(slot, flag, bits, reference, at);
		case T_IMAGE: return image(slot, flag, reference, at);
		case T_BITSET: return bitset(slot, compact_ ? flag : (bits & FIXED_COMPLEMENTED) != 0, reference, at);
		case T_ERROR: return error(slot, at);
		case T_NATIVE: case T_ACTION: return native(slot, Type(id), at);
		case T_OP: return op(slot, bits, at);
		case T_OBJECT:
			return object(slot, compact_ ? flag : (bits & FIXED_HANDLERS) != 0, reference, nullptr, at);
		case T_FUNCTION: return function(slot, reference, nullptr, at);
		default:
			if (is_refused(id)) {
				Cell type{T_DATATYPE, id, 0, 0};
				errors::fire(errors::id::access_no_codec, &type);
			}
			corrupt(at);
		}
	}

	static bool takes_reference(uint32_t id) {
		Type t = Type(id);
		return id < TYPE_COUNT && (series::any_block(t) || series::any_string(t) || t == T_MAP || t == T_BINARY ||
			t == T_VECTOR || t == T_IMAGE || t == T_BITSET || t == T_OBJECT || t == T_FUNCTION || (t >= T_WORD && t <= T_REFINEMENT));
	}

	// ---- scalars

	void number(Slot slot, Type t, bool integral) {
		Cell c{t, 0, 0, 0};
		if (compact_ && integral) {
			double n = signed_field();
			cell::put_double(&c, t == T_PERCENT ? n / 100.0 : n);
		} else if (compact_) {
			c.data2 = word32();
			c.data3 = word32();
		} else {
			c.data3 = word32();
			c.data2 = word32();
		}
		*slot.at() = c;
	}

	void payload(Slot slot, Type t) {
		Cell c{t, 0, 0, 0};
		c.data1 = word32();
		c.data2 = word32();
		c.data3 = word32();
		*slot.at() = c;
	}

	void date(Slot slot, bool flag, const uint8_t* at) {
		Cell c{T_DATE, word32(), 0, 0};
		bool timed = date::has_time(c.data1);
		if (compact_) {
			if (timed != flag) corrupt(at);
			if (timed) {
				c.data2 = word32();
				c.data3 = word32();
			}
		} else {
			c.data3 = word32();
			c.data2 = word32();
		}
		uint32_t month = (c.data1 >> 12) & 0xF, day = (c.data1 >> 7) & 0x1F;
		if (month < 1 || month > 12 || day < 1) corrupt(at);
		*slot.at() = c;
	}

	void typeset(Slot slot, const uint8_t* at) {
		if (!compact_) return payload(slot, T_TYPESET);
		uint8_t n = byte();
		if (n > 12) corrupt(at);
		Cell c{T_TYPESET, 0, 0, 0};
		std::memcpy(&c.data1, take(n), n);
		*slot.at() = c;
	}

	void tuple(Slot slot, bool flag, uint32_t bits, const uint8_t* at) {
		Cell c{T_TUPLE, 0, 0, 0};
		uint32_t count;
		if (compact_) {
			count = flag ? byte() : 3;
			if (count < 1 || count > 12) corrupt(at);
			std::memcpy(&c.data1, take(count), count);
		} else {
			count = (bits >> 8) & 0xFF;
			if (count < 1 || count > 12) corrupt(at);
			std::memcpy(&c.data1, take(12), 12);
			auto* b = reinterpret_cast<uint8_t*>(&c.data1);
			std::memset(b + count, 0, 12 - count);
		}
		c.header |= count << 19;
		*slot.at() = c;
	}

	void money(Slot slot, bool negative, const uint8_t* at) {
		Cell c{uint32_t(T_MONEY) | (negative ? money::SIGN_FLAG : 0), 0, 0, 0};
		std::memcpy(&c.data1, take(12), 12);
		// Bytes 5-15 are decimal digits, two to a byte.
		const auto* b = reinterpret_cast<const uint8_t*>(&c.data1);
		for (int i = 1; i < 12; i++)
			if ((b[i] >> 4) > 9 || (b[i] & 0xF) > 9) corrupt(at);
		*slot.at() = c;
	}

	// ---- words and contexts

	void word(Slot slot, Type t, bool bound, uint32_t bits, bool reference, const uint8_t* at) {
		uint32_t sym = symbol();
		if (!compact_ && !codec_) return boot_word(slot, t, sym, bits, at);
		if (!compact_) {
			int32_t index = signed_field();
			if (!bound) return global_word(slot, t, sym);
			return bound_word(slot, t, sym, index, reference, at);
		}
		if (!bound) return global_word(slot, t, sym);
		if (!codec_) {
			uint32_t k = varint();
			int32_t index = signed_field();
			bind(Binding{slot, t, sym, index}, literal_context(k, at), at);
			return;
		}
		bound_word(slot, t, sym, signed_field(), reference, at);
	}

	void bound_word(Slot slot, Type t, uint32_t sym, int32_t index, bool reference, const uint8_t* at) {
		Binding b{slot, t, sym, index};
		if (reference) {
			Cell found;
			path(&found);
			Node ctx = context_of(&found);
			if (!ctx) corrupt(at);
			bind(b, ctx, at);
			return;
		}
		// The owner follows in full.
		const uint8_t* owner_at = p_;
		uint32_t id, bits = 0;
		bool flag = false;
		if (compact_) {
			uint8_t lead = byte();
			id = lead & LEAD_ID_MASK;
			flag = (lead & LEAD_FLAG) != 0;
		} else {
			bits = word32();
			id = bits & 0xFF;
			flag = (bits & FIXED_HANDLERS) != 0;
			if (bits & FIXED_REFERENCE) corrupt(owner_at);
		}
		if (id == T_OBJECT)
			object(slot, flag, false, &b, owner_at);
		else if (id == T_FUNCTION)
			function(slot, false, &b, owner_at);
		else
			corrupt(owner_at);
	}

	// Fixed-width boot form: literal index of the owner (-1: global), word
	// index, and with the set bit the value record that the word takes.
	void boot_word(Slot slot, Type t, uint32_t sym, uint32_t bits, const uint8_t* at) {
		int32_t k = signed_field();
		int32_t index = signed_field();
		if (k < 0)
			global_word(slot, t, sym);
		else
			bind(Binding{slot, t, sym, index}, literal_context(uint32_t(k), at), at);
		if (bits & FIXED_WORD_GLOBAL) assign(slot.buffer, slot);
	}

	// `sym` is the symbol just read.
	void global_word(Slot slot, Type t, uint32_t sym) {
		Cell w;
		if (t == T_REFINEMENT) {
			// As the lexer makes them: refinements stay unbound.
			cell::set(&w, T_REFINEMENT, 0, sym, 0xFFFFFFFFu);
		} else {
			GlobalWord& g = globals_[symbol_at_];
			if (!g.ctx) {
				const Cell* found = context::find_or_add_global(sym, true, false);
				g = GlobalWord{found->data1, found->data3};
			}
			cell::set(&w, t, g.ctx, sym, g.index);
		}
		*slot.at() = w;
	}

	Node literal_context(uint32_t k, const uint8_t* at) {
		Series* s = memory::series(out_);
		if (k >= s->used() / sizeof(Cell)) corrupt(at);
		Cell* v = s->head_cell() + k;
		if (!cell::is(v, T_OBJECT) && !cell::is(v, T_FUNCTION)) corrupt(at);
		return v->data1;
	}

	// Writes the word bound to ctx; an index of -1 is looked up (a `self`
	// keeps it, standing for the owner).
	void bind(const Binding& b, Node ctx, const uint8_t* at) {
		int32_t index = b.index;
		if (index < 0) {
			if (index != -1) corrupt(at);
			if (!symbol::is_self(b.symbol)) {
				index = context::find_word(ctx, b.symbol, true);
				if (index < 0) corrupt(at);
			}
		} else if (uint32_t(index) >= context::word_count(ctx)) {
			corrupt(at);
		}
		cell::set(b.slot.at(), b.type, ctx, b.symbol, uint32_t(index));
	}

	// The context a reference designates: that of an object, function or
	// bound word (an op! of a function stands for the function).
	static Node context_of(const Cell* v) {
		Type t = cell::type_of(v);
		if (object::is_object_like(t) || t == T_FUNCTION) return v->data1;
		if (t == T_OP && ((v->header >> 16) & 0xFF) == T_FUNCTION) return v->data1;
		if (t >= T_WORD && t <= T_REFINEMENT) return v->data1;
		return 0;
	}

	ContextInfo context_head(const uint8_t* at) {
		uint32_t kind;
		bool stack, maker, values;
		if (compact_) {
			if (byte() != T_CONTEXT) corrupt(at);
			uint8_t f = byte();
			kind = f & CONTEXT_KIND_MASK;
			stack = f & CONTEXT_STACK;
			maker = f & CONTEXT_MAKER;
			values = f & CONTEXT_VALUES;
		} else {
			uint32_t h = word32();
			if ((h & 0xFF) != T_CONTEXT) corrupt(at);
			kind = (h >> FIXED_CONTEXT_KIND_SHIFT) & 3;
			stack = h & FIXED_CONTEXT_STACK;
			maker = h & FIXED_CONTEXT_MAKER;
			values = h & FIXED_CONTEXT_VALUES;
		}
		return context_words(kind, stack, maker, values && !stack);
	}

	ContextInfo context_words(uint32_t kind, bool stack, bool maker, bool values) {
		uint32_t n = field();
		need(n);  // each symbol index takes a byte at least
		Node ctx = context::create(n, stack, maker, 0, kind);
		for (uint32_t i = 0; i < n; i++) {
			const uint8_t* at = p_;
			Cell w{T_WORD, 0, symbol(), 0};
			if (uint32_t(context::add_word(ctx, &w)) != i) corrupt(at);  // a name twice
		}
		return ContextInfo{ctx, n, values};
	}

	void context_values(const ContextInfo& info) {
		if (!info.values) return;
		Node values = context::header(info.ctx)->data2;
		for (uint32_t i = 0; i < info.count; i++) record(values, int32_t(i));
	}

	// A context record on its own reads back as an object of class -1.
	void standalone_context(Slot slot, uint32_t bits, const uint8_t* at) {
		ContextInfo info;
		if (compact_) {
			p_ = at + 1;
			uint8_t f = byte();
			info = context_words(f & CONTEXT_KIND_MASK, f & CONTEXT_STACK, f & CONTEXT_MAKER,
				(f & CONTEXT_VALUES) && !(f & CONTEXT_STACK));
		} else {
			info = context_words((bits >> FIXED_CONTEXT_KIND_SHIFT) & 3, bits & FIXED_CONTEXT_STACK,
				bits & FIXED_CONTEXT_MAKER, (bits & FIXED_CONTEXT_VALUES) && !(bits & FIXED_CONTEXT_STACK));
		}
		if (codec_ && context::on_stack(info.ctx)) corrupt(at);
		Cell obj{T_OBJECT, info.ctx, uint32_t(-1), 0};
		*context::owner(info.ctx) = obj;
		*slot.at() = obj;
		context_values(info);
	}

	void object(Slot slot, bool handlers, bool reference, const Binding* binding, const uint8_t* at) {
		if (reference) {
			Cell found;
			path(&found);
			Node ctx = context_of(&found);
			if (!ctx || !cell::is(context::owner(ctx), T_OBJECT)) corrupt(at);
			*slot.at() = *context::owner(ctx);
			cell::clear_new_line(slot.at());
			return;
		}
		int32_t class_id = signed_field();
		int32_t change = int32_t(0xFFFF0000u), deep = int32_t(0xFFFF0000u);
		if (handlers) {
			change = signed_field();
			deep = signed_field();
		}
		ContextInfo info = context_head(p_);
		if (context::on_stack(info.ctx) || (codec_ && context::kind_of(info.ctx) != context::KIND_OBJECT)) corrupt(at);
		Cell obj{T_OBJECT, info.ctx, codec_ ? uint32_t(-1) : uint32_t(class_id), 0};
		*context::owner(info.ctx) = obj;
		if (binding)
			bind(*binding, info.ctx, at);
		else
			*slot.at() = obj;
		context_values(info);
		if (!handlers) return;
		int32_t ci = change >> 16, cl = change & 0xFFFF, di = deep >> 16, dl = deep & 0xFFFF;
		if (!handler_ok(info.ctx, ci, cl) || !handler_ok(info.ctx, di, dl)) corrupt(at);
		if (ci < 0 && di < 0) return;
		Cell* saved = stack::top;
		stack::push(&obj);
		object::set_change_handlers(info.ctx, ci, cl, di, dl);
		obj = *stack::get_top();
		stack::top = saved;
		if (!binding) *slot.at() = obj;
	}

	// A handler slot names a function field with that many locals.
	bool handler_ok(Node ctx, int32_t index, int32_t locals) {
		if (index == -1) return true;
		if (index < 0 || uint32_t(index) >= context::word_count(ctx)) return false;
		if (!codec_) return true;
		const Cell* v = context::values(ctx) + index;
		if (!cell::is(v, T_FUNCTION)) return false;
		Cell spec{T_BLOCK, 0, v->data2, 0};
		return function::count_locals(&spec) == locals;
	}

	void function(Slot slot, bool reference, const Binding* binding, const uint8_t* at) {
		if (reference) {
			Cell found;
			path(&found);
			Node ctx = context_of(&found);
			if (!ctx || !cell::is(context::owner(ctx), T_FUNCTION)) corrupt(at);
			*slot.at() = *context::owner(ctx);
			cell::clear_new_line(slot.at());
			return;
		}
		uint32_t spec_length = field();
		uint32_t body_length = field();
		need(uint64_t(spec_length) + body_length);  // a byte per record at least
		ContextInfo info = context_head(p_);
		if (codec_ && (!context::on_stack(info.ctx) || context::kind_of(info.ctx) != FUNCTION_KIND)) corrupt(at);
		context_values(info);
		Node spec = memory::alloc_cells(spec_length ? spec_length : 1);
		Node body = memory::alloc_cells(body_length ? body_length : 1);
		Node more = memory::alloc_unset_cells(MORE_CELLS);
		memory::series(more)->tail = MORE_CELLS * sizeof(Cell);
		cell::set(memory::series(more)->head_cell(), T_BLOCK, 0, body);
		Cell fn{T_FUNCTION, info.ctx, spec, more};
		*context::owner(info.ctx) = fn;
		if (binding)
			bind(*binding, info.ctx, at);
		else
			*slot.at() = fn;

		const uint8_t* spec_at = p_;
		fn.data2 = function_block(spec, nullptr);
		Cell spec_cell{T_BLOCK, 0, fn.data2, 0};
		if (codec_ && !spec_matches(info.ctx, &spec_cell)) corrupt(spec_at);
		fn.header = T_FUNCTION | function::validate_spec(&spec_cell) | function::call_shape(&spec_cell);
		*context::owner(info.ctx) = fn;
		if (!binding) *slot.at() = fn;

		Cell body_cell{T_BLOCK, 0, body, 0};
		body_cell.data2 = function_block(body, &body_cell.data1);
		*memory::series(more)->head_cell() = body_cell;
	}

	// A spec or body: a block! record read into the function's own buffer,
	// or a reference to a block read before. Answers the buffer's node.
	Node function_block(Node preset, uint32_t* head) {
		const uint8_t* at = p_;
		bool reference = false;
		uint32_t h;
		if (compact_) {
			for (;;) {
				uint8_t b = byte();
				if (b == PREFIX_REFERENCE) {
					reference = true;
				} else if (b != PREFIX_NEW_LINE) {
					p_--;
					break;
				}
			}
			uint8_t lead = byte();
			if ((lead & LEAD_ID_MASK) != T_BLOCK || lead >= 0x80) corrupt(at);
			h = (lead & LEAD_FLAG) ? varint() : 0;
		} else {
			uint32_t bits = word32();
			if ((bits & 0xFF) != T_BLOCK) corrupt(at);
			reference = bits & FIXED_REFERENCE;
			h = word32();
		}
		if (head) *head = h;
		if (reference) {
			Cell found;
			path(&found);
			if (!series::any_block(cell::type_of(&found))) corrupt(at);
			return found.data2;
		}
		uint32_t n = field();
		need(n);
		for (uint32_t i = 0; i < n; i++) record(preset, NO_INDEX);
		return preset;
	}

	// The context's words are those the spec declares, in order.
	static bool spec_matches(Node ctx, Cell* spec) {
		Node expected = context::make_from_spec(spec, true, false, FUNCTION_KIND);
		uint32_t n = context::word_count(ctx);
		if (context::word_count(expected) != n) return false;
		for (uint32_t i = 0; i < n; i++)
			if (!symbol::same_name(context::word_cell(ctx, i)->data2, context::word_cell(expected, i)->data2))
				return false;
		return true;
	}

	// ---- series

	uint32_t head_field(bool flag) {
		if (compact_) return flag ? varint() : 0;
		return word32();
	}

	void block(Slot slot, Type t, bool flag, bool reference) {
		uint32_t head = head_field(flag);
		if (reference) return series_reference(slot, t, head);
		uint32_t n = field();
		need(n);
		Node node = memory::alloc_cells(n ? n : 1);
		cell::set(slot.at(), t, head, node);
		for (uint32_t i = 0; i < n; i++) record(node, NO_INDEX);
		if (t == T_HASH) index_hash(slot);
	}

	static void index_hash(Slot slot) {
		Cell whole = *slot.at();
		whole.data1 = 0;
		series::hash_index_new(&whole);
		slot.at()->data3 = whole.data3;
	}

	void map(Slot slot, bool reference, const uint8_t* at) {
		if (reference) return series_reference(slot, T_MAP, 0);
		uint32_t n = field();
		if (n & 1) corrupt(at);
		need(n);
		Node node = memory::alloc_cells(n ? n : 2);
		cell::set(slot.at(), T_MAP, 0, node);
		for (uint32_t i = 0; i < n; i++) {
			const uint8_t* key_at = p_;
			record(node, NO_INDEX);
			if (i & 1) continue;
			Cell* key = memory::series(node)->head_cell() + i;
			if (!map::valid_key(cell::type_of(key))) corrupt(key_at);
			Cell block{T_BLOCK, 0, node, 0};
			map::preprocess_key(key, &block);
		}
		Cell m;
		map::make_at(&m, node, 0);
		m.header = slot.at()->header;
		*slot.at() = m;
		for (auto& [referred, at] : map_references_)
			if (referred == node) at.at()->data3 = m.data3;
	}

	void remember_map(const Cell& found, Slot slot) {
		if (cell::is(&found, T_MAP) && found.data3 == 0) map_references_.push_back({found.data2, slot});
	}

	// Strings (unit 1, 2 or 4) and binaries.
	void bytes(Slot slot, Type t, bool flag, uint32_t bits, bool reference, const uint8_t* at) {
		uint32_t unit = compact_ ? 1 : (bits >> 8) & 0xFF;
		if (t == T_BINARY && !compact_ && unit != 1) corrupt(at);
		uint32_t head = head_field(flag);
		if (reference) return series_reference(slot, t, head);
		uint32_t count = field();
		if (compact_ && t != T_BINARY) {
			uint32_t log = count & 3;
			if (log == 3) corrupt(at);
			unit = 1u << log;
			count >>= 2;
		}
		if (unit != 1 && unit != 2 && unit != 4) corrupt(at);
		uint64_t size = uint64_t(count) * unit;
		const uint8_t* src = take(size);
		if (unit == 4)
			for (uint32_t i = 0; i < count; i++)
				if (byte_order::load_le32(src + 4 * size_t(i)) > 0x10FFFF) corrupt(src + 4 * size_t(i));
		Node node = memory::alloc_by_unit(count, unit);
		Series* s = memory::series(node);
		if (size) std::memcpy(s->head_ptr(), src, size);
		s->tail = s->head + uint32_t(size);
		cell::set(slot.at(), t, head, node);
		skip_pad();
	}

	void vector(Slot slot, bool flag, uint32_t bits, bool reference, const uint8_t* at) {
		uint32_t width = compact_ ? 0 : (bits >> 8) & 0xFF;
		uint32_t head = head_field(flag);
		if (reference) return series_reference(slot, T_VECTOR, head);
		uint32_t element, count;
		if (compact_) {
			uint8_t b = byte();
			element = b >> 2;
			width = 1u << (b & 3);
			count = varint();
		} else {
			count = word32();
			element = word32();
		}
		bool ok = ((element == T_INTEGER || element == T_CHAR) && (width == 1 || width == 2 || width == 4)) ||
			(element == T_FLOAT && (width == 4 || width == 8)) || (element == T_PERCENT && width == 8);
		if (!ok) corrupt(at);
		uint64_t size = uint64_t(count) * width;
		const uint8_t* src = take(size);
		Node node = memory::alloc_by_unit(count, width);
		Series* s = memory::series(node);
		if (size) std::memcpy(s->head_ptr(), src, size);
		s->tail = s->head + uint32_t(size);
		cell::set(slot.at(), T_VECTOR, head, node, element);
		skip_pad();
	}

	// Width and height (at most 65,535 each), then width x height pixel
	// words; the head must lie within the pixels.
	void image(Slot slot, bool flag, bool reference, const uint8_t* at) {
		uint32_t head = head_field(flag);
		if (reference) return series_reference(slot, T_IMAGE, head);
		uint32_t width, height;
		if (compact_) {
			width = varint();
			height = varint();
		} else {
			uint32_t size = word32();
			width = image_record::width_of(size);
			height = image_record::height_of(size);
		}
		if (width > image_record::MAX_SIDE || height > image_record::MAX_SIDE) corrupt(at);
		uint64_t n = uint64_t(width) * height;
		if (head > n) corrupt(at);
		const uint8_t* src = take(n * 4);
		Node record = image_record::make(width, height);
		uint32_t* pixels = image_record::pixels(record);
		for (uint64_t i = 0; i < n; i++) pixels[i] = byte_order::load_le32(src + 4 * i);
		image::init_image(slot.at(), record)->data1 = head;
	}

	void bitset(Slot slot, bool complemented, bool reference, const uint8_t*) {
		if (reference) return series_reference(slot, T_BITSET, 0);
		uint32_t n = field();
		const uint8_t* src = take(n);
		Node node = memory::alloc_bytes(n);
		Series* s = memory::series(node);
		if (n) std::memcpy(s->head_ptr(), src, n);
		s->tail = s->head + n;
		if (complemented) s->flags |= bitset::COMPLEMENT;
		cell::set(slot.at(), T_BITSET, 0, node);
		skip_pad();
	}

	// A series met before: a copy of the found cell with this record's type
	// and head. The found buffer must have the units the type reads.
	void series_reference(Slot slot, Type t, uint32_t head) {
		const uint8_t* at = p_;
		Cell found;
		path(&found);
		Type f = cell::type_of(&found);
		bool ok;
		if (series::any_block(t))
			ok = holds_cells(f);
		else if (t == T_BINARY)
			ok = (f == T_BINARY || series::any_string(f)) && memory::buffer_of(&found)->unit() == 1;
		else if (series::any_string(t))
			ok = series::any_string(f) || f == T_BINARY;
		else
			ok = f == t;
		if (!ok) corrupt(at);
		Cell c = found;
		c.header = t;
		if (t != T_MAP && t != T_BITSET) c.data1 = head;
		if (t != f && t != T_VECTOR) c.data3 = 0;
		if (f == T_OP || f == T_NATIVE || f == T_ACTION || f == T_FUNCTION || f == T_ROUTINE) c.data3 = 0;
		*slot.at() = c;
		if (t == T_HASH && f != T_HASH) index_hash(slot);
		remember_map(c, slot);
	}

	// ---- functions of the runtime, errors

	void native(Slot slot, Type t, const uint8_t* at) {
		uint32_t index = field();
		uint32_t limit = t == T_NATIVE ? uint32_t(natives::NATIVE_COUNT) : uint32_t(ACTION_COUNT);
		if (index < 1 || index > limit) corrupt(at);
		Node scratch = memory::alloc_cells(1);
		const uint8_t* spec_at = p_;
		record(scratch, NO_INDEX);
		Cell spec = *memory::series(scratch)->head_cell();
		if (!cell::is(&spec, T_BLOCK)) corrupt(spec_at);
		if (codec_) {
			const Cell* known = native::registered_entry(t, index - 1);
			if (!known) corrupt(at);
			*slot.at() = *known;
			cell::clear_new_line(slot.at());
		} else {
			Cell v;
			native::make_entry(&v, t, &spec, index - 1);
			*slot.at() = v;
		}
	}

	// The wrapped function is read into the op's own slot, so that paths
	// into it resolve while it is read, then retyped.
	void op(Slot slot, uint32_t bits, const uint8_t* at) {
		record(slot.buffer, int32_t(slot.index));
		Cell* c = slot.at();
		Type wrapped = cell::type_of(c);
		if (wrapped != T_NATIVE && wrapped != T_ACTION && wrapped != T_FUNCTION) corrupt(at);
		if (!compact_ && ((bits >> 16) & 0xFF) != wrapped) corrupt(at);
		c->header = T_OP | (uint32_t(wrapped) << 16);
	}

	void error(Slot slot, const uint8_t* at) {
		uint32_t code = field();
		uint32_t category = code / 100, number = code % 100;
		if (category >= uint32_t(errors::CATEGORY_COUNT) || number >= errors::catalog[category].id_count)
			corrupt(at);
		Cell e;
		error::create(errors::Id{errors::Category(category), uint8_t(number)}, nullptr, nullptr, nullptr, &e);
		*slot.at() = e;
		Node values = context::header(e.data1)->data2;
		for (uint32_t i = error::ARG1; i <= error::STACK; i++) record(values, int32_t(i));
	}

	// ---- paths

	void whole_reference(Slot slot) {
		Cell found;
		path(&found);
		cell::clear_new_line(&found);
		*slot.at() = found;
		remember_map(found, slot);
	}

	void path(Cell* out) {
		const uint8_t* at = p_;
		if (!compact_ && word32() != FIXED_PATH) corrupt(at);
		at = p_;
		uint32_t n = field();
		if (n == 0 || n > MAX_PATH) corrupt(at);
		Cell cur{T_BLOCK, 0, out_, 0};
		for (uint32_t i = 0; i < n; i++) {
			at = p_;
			if (!step(&cur, field())) corrupt(at);
		}
		*out = cur;
	}

	static bool cell_at(Node buffer, uint32_t pos, Cell* cur) {
		Series* s = memory::series(buffer);
		if (pos >= s->used() / sizeof(Cell)) return false;
		*cur = s->head_cell()[pos];
		return true;
	}

	static bool function_step(Cell* cur, uint32_t pos) {
		if (pos == 0) {
			cell::set(cur, T_BLOCK, 0, cur->data2);
			return true;
		}
		Cell body = *memory::series(cur->data3)->head_cell();
		if (!cell::is(&body, T_BLOCK)) return false;
		*cur = body;
		return true;
	}

	static bool step(Cell* cur, uint32_t pos) {
		Type t = cell::type_of(cur);
		if (series::any_block(t) || t == T_MAP) return cell_at(cur->data2, pos, cur);
		if (t == T_NATIVE || t == T_ACTION) return cell_at(cur->data2, pos, cur);
		if (t == T_OP) {
			if (((cur->header >> 16) & 0xFF) != T_FUNCTION) return cell_at(cur->data2, pos, cur);
			return function_step(cur, pos);
		}
		if (t == T_FUNCTION) return function_step(cur, pos);
		if (t == T_ERROR) {
			if (pos > error::STACK - error::ARG1) return false;
			*cur = context::values(cur->data1)[error::ARG1 + pos];
			return true;
		}
		Node ctx;
		if (t >= T_WORD && t <= T_REFINEMENT)
			ctx = cur->data1;
		else if (t == T_OBJECT)
			ctx = cur->data1;
		else
			return false;
		if (!ctx) return false;
		if (context::on_stack(ctx)) {
			Cell* owner = context::owner(ctx);
			if (!cell::is(owner, T_FUNCTION)) return false;
			*cur = *owner;
			return function_step(cur, pos);
		}
		if (pos >= context::word_count(ctx)) return false;
		*cur = context::values(ctx)[pos];
		return true;
	}
};

[[noreturn]] void invalid(const Cell* argument) {
	Cell none{T_NONE, 0, 0, 0};
	errors::fire(errors::id::script_invalid_data, argument ? argument : &none);
}

[[noreturn]] void boot_failure(const char* message) {
	std::fprintf(stderr, "%s\n", message);
	std::exit(1);
}

}  // namespace

size_t decode(const uint8_t* data, size_t length, Cell* out, Mode mode, const Cell* argument) {
	bool codec = mode == Mode::codec;
	if (length < PREAMBLE || std::memcmp(data, MAGIC, sizeof MAGIC) != 0) {
		if (!codec) boot_failure("Error: Not a Vynbin file!");
		invalid(argument);
	}
	uint8_t flags = data[7];
	// The fixed-width header alone takes 8 bytes.
	if (codec && !(flags & (FLAG_COMPACT | FLAG_CRUSHED)) && length - PREAMBLE < 8) invalid(argument);
	Node target = out->data2;
	if (!(flags & FLAG_CRUSHED)) {
		Reader r(data, 0, mode);
		return size_t(r.run(data + PREAMBLE, data + length, flags, target) - data);
	}
	uint32_t room = 0;
	const uint8_t* packed = data + PREAMBLE;
	size_t packed_length = length - PREAMBLE;
	if (crush::decompress(nullptr, room, packed, packed_length) == crush::CORRUPT) {
		if (!codec) boot_failure("Error: Vynbin compressed data corrupted!");
		invalid(argument);
	}
	std::vector<uint8_t> expanded(room ? room : 1);
	crush::decompress(expanded.data(), room, packed, packed_length);
	Reader r(expanded.data(), PREAMBLE, mode);
	r.run(expanded.data(), expanded.data() + room, flags, target);
	return length;
}

Cell* boot_load(const uint8_t* image, size_t size) {
	bool active = collector::active;
	collector::active = false;
	Node node = block::make_in(context::root, 16)->data2;
	uint32_t at = memory::buffer_of(context::root)->used() / sizeof(Cell) - 1;
	Cell block{T_BLOCK, 0, node, 0};
	decode(image, size, &block, Mode::boot);
	collector::active = active;
	memory::boot_base = memory::series(node)->head_cell();
	return memory::buffer_of(context::root)->head_cell() + at;
}

}  // namespace vyn::serial_reader
