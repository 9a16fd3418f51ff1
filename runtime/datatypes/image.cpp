#include "runtime/datatypes/image.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/compound.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/spans.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/errors.h"
#include "runtime/evaluator/stack.h"
#include "runtime/io/image_record.h"
#include "runtime/io/simple_io.h"
#include "runtime/ownership.h"
#include "runtime/words.h"

namespace vyn::image {

namespace {

using image_record::OPAQUE;

inline uint32_t count_of(const Cell* img) { return width_of(img) * height_of(img); }
inline uint32_t* pixels_of(const Cell* img) { return image_record::pixels(record_of(img)); }

// The head pulled back into 0..width x height.
uint32_t head_of(Cell* img) {
	uint32_t n = count_of(img);
	if (int32_t(img->data1) < 0) img->data1 = 0;
	if (img->data1 > n) img->data1 = n;
	return img->data1;
}

Cell* none_in(Cell* out) {
	cell::make_none(out);
	return out;
}

// A tuple R.G.B.A, A the transparency (opaque for three bytes).
uint32_t pixel_of(const Cell* t) {
	const uint8_t* b = tuple::bytes_of(t);
	uint32_t clear = tuple::size_of(t) >= 4 ? b[3] : 0;
	return (255 - clear) << 24 | uint32_t(b[0]) << 16 | uint32_t(b[1]) << 8 | b[2];
}

Cell* tuple_of(uint32_t pixel, Cell* out) {
	const uint8_t b[4] = {uint8_t(pixel >> 16), uint8_t(pixel >> 8), uint8_t(pixel), uint8_t(255 - (pixel >> 24))};
	return tuple::make_at(out, 4, b);
}

// Tells the owner object about a change made in place (index and part in
// pixels, -1 for the whole image). Runs Vyn code: pixel addresses are stale
// afterwards.
void notify(const Cell* img, const Cell* action, int32_t index, int32_t part, const Cell* value = nullptr) {
	image_record::touch(record_of(img));
	if (img->header & ownership::IMAGE_OWNED) ownership::check(img, action, index, part, value);
}

[[noreturn]] void bad_media() { errors::fire(errors::id::access_bad_media); }

// ---- Positions ----

// A pair offset x * y as a pixel count: x + width * (y - 1) for at (y above
// 0), x + width * y otherwise.
int64_t offset_of(const Cell* img, const Cell* arg, bool at) {
	if (cell::is(arg, T_INTEGER)) return cell::get_integer(arg);
	if (!cell::is(arg, T_PAIR)) errors::fire(errors::id::script_invalid_arg, arg);
	int64_t x = pair::x_of(arg), y = pair::y_of(arg);
	return x + int64_t(width_of(img)) * (at && y > 0 ? y - 1 : y);
}

Cell* move_head(bool at) {
	Cell* img = stack::arguments;
	int64_t n = offset_of(img, img + 1, at);
	int64_t h = int64_t(head_of(img)) + (at && n >= 1 ? n - 1 : n);
	img->data1 = uint32_t(std::clamp<int64_t>(h, 0, count_of(img)));
	return stack::keep();
}

Cell* at() { return move_head(true); }
Cell* skip() { return move_head(false); }

Cell* next() {
	Cell* img = stack::arguments;
	if (head_of(img) < count_of(img)) img->data1++;
	return stack::keep();
}

Cell* tail() {
	Cell* img = stack::arguments;
	img->data1 = count_of(img);
	return stack::keep();
}

Cell* tail_q() {
	Cell* img = stack::arguments;
	cell::make_logic(img, head_of(img) >= count_of(img));
	return stack::keep();
}

int32_t length_q(Cell* img) { return int32_t(count_of(img)); }

// The pixel a pick or poke index names: an integer counted from the head
// (1 the head pixel, -1 the one before it), or a pair column x row counted
// from the head's row start the same way. -1 when outside the image.
int64_t position_of(Cell* img, int32_t index, const Cell* boxed) {
	int64_t n = index;
	if (cell::is(boxed, T_PAIR)) {
		int64_t x = pair::x_of(boxed), y = pair::y_of(boxed);
		if (x < 1 || x > int64_t(width_of(img)) || y < 1) return -1;
		n = x + int64_t(width_of(img)) * (y - 1);
	} else if (!cell::is(boxed, T_INTEGER)) {
		errors::fire(errors::id::script_invalid_arg, boxed);
	}
	int64_t h = head_of(img);
	int64_t pos = n >= 1 ? h + n - 1 : n <= -1 ? h + n : -1;
	return pos >= 0 && pos < int64_t(count_of(img)) ? pos : -1;
}

// ---- Pixel data ----

uint32_t method_width(Method m) { return m == ALPHA ? 1 : m == RGB ? 3 : 4; }

void set_from_bytes(uint32_t* p, uint32_t count, const uint8_t* b, uint32_t length, Method m) {
	uint32_t n = std::min(count, length / method_width(m));
	switch (m) {
	case ARGB: std::memcpy(p, b, size_t(n) * 4); break;
	case RGB:
		for (uint32_t i = 0; i < n; i++, b += 3)
			p[i] = (p[i] & OPAQUE) | uint32_t(b[0]) << 16 | uint32_t(b[1]) << 8 | b[2];
		break;
	case ALPHA:
		for (uint32_t i = 0; i < n; i++) p[i] = (255u - b[i]) << 24 | (p[i] & 0xFFFFFF);
		break;
	}
}

// Every pixel from one value: `bits` the pixel word, `mask` the part of it
// to write.
void set_all(uint32_t* p, uint32_t count, uint32_t bits, uint32_t mask) {
	for (uint32_t i = 0; i < count; i++) p[i] = (p[i] & ~mask) | (bits & mask);
}

// ---- Copies ----

Cell* copy_rect(Cell* out, const Cell* img, uint32_t x, uint32_t y, uint32_t w, uint32_t h) {
	return init_image(out, image_record::copy_rect(record_of(img), x, y, w, h));
}

Cell* copy_whole(Cell* out, const Cell* img) { return copy_rect(out, img, 0, 0, width_of(img), height_of(img)); }

// The rectangle from the head's column and row, `w` x `h` at most, clipped.
Cell* copy_from_head(Cell* out, Cell* img, int64_t w, int64_t h) {
	uint32_t width = width_of(img);
	uint32_t head = head_of(img);
	uint32_t x = width ? head % width : 0, y = width ? head / width : 0;
	uint32_t cw = uint32_t(std::clamp<int64_t>(w, 0, int64_t(width) - x));
	uint32_t ch = uint32_t(std::clamp<int64_t>(h, 0, int64_t(height_of(img)) - y));
	if (cw == 0 || ch == 0) cw = ch = 0;
	return copy_rect(out, img, x, y, cw, ch);
}

// Pastes `src` at the head's column and row, clipped to both images.
void paste(Cell* img, const Cell* src) {
	uint32_t w = width_of(img), h = height_of(img), sw = width_of(src), sh = height_of(src);
	uint32_t head = head_of(img);
	uint32_t x = w ? head % w : 0, y = w ? head / w : 0;
	uint32_t cw = std::min(sw, w - std::min(x, w)), ch = std::min(sh, h - std::min(y, h));
	if (cw == 0 || ch == 0) return;
	const uint32_t* from = pixels_of(src);
	// An image pasted into itself is read from a copy.
	std::vector<uint32_t> own;
	if (record_of(src) == record_of(img)) {
		own.assign(from, from + size_t(sw) * sh);
		from = own.data();
	}
	uint32_t* to = pixels_of(img);
	for (uint32_t row = 0; row < ch; row++)
		std::memcpy(to + size_t(y + row) * w + x, from + size_t(row) * sw, size_t(cw) * 4);
}

// ---- Form and mold ----

constexpr char HEX[] = "0123456789ABCDEF";

// Text gathered in a local chunk and appended in pieces, under the part limit.
struct Writer {
	Cell* buffer;
	int32_t part;
	uint32_t used = 0;
	char chunk[4096];

	Writer(Cell* out, int32_t limit) : buffer(out), part(limit) {}
	~Writer() { flush(); }
	void flush() {
		if (used) string::append_units(buffer, reinterpret_cast<const uint8_t*>(chunk), 1, used);
		used = 0;
	}
	void put(const char* text, uint32_t n) {
		if (part <= 0) return;
		if (n > uint32_t(part)) n = uint32_t(part);
		if (used + n > sizeof chunk) flush();
		std::memcpy(chunk + used, text, n);
		used += n;
		part -= int32_t(n);
	}
	void put(std::string_view text) { put(text.data(), uint32_t(text.size())); }
	void hex(uint32_t v, int digits) {
		char d[8];
		for (int i = digits - 1; i >= 0; i--, v >>= 4) d[i] = HEX[v & 15];
		put(d, uint32_t(digits));
	}
	void line(int32_t level) {
		put("\n", 1);
		for (int32_t i = 0; i < level; i++) put("    ", 4);
	}
};

void write_size(Writer& w, const Cell* img) {
	char text[16];
	char* end = integer::form_signed(int32_t(width_of(img)), text);
	*end++ = 'x';
	end = integer::form_signed(int32_t(height_of(img)), end);
	w.put(text, uint32_t(end - text));
}

int32_t write_image(const Cell* value, Cell* buffer, bool only, bool flat, int32_t part, int32_t indent) {
	Writer w(buffer, part);
	Cell img = *value;
	uint32_t n = count_of(&img);
	if (!only) w.put("make image! [");
	write_size(w, &img);
	if (n == 0) {
		w.put(" #{}");
	} else {
		const uint32_t* p = pixels_of(&img);
		bool lines = n > 30 && !flat;
		w.put(" #{");
		for (uint32_t i = 0; i < n && w.part > 0; i++) {
			if (lines && i % 10 == 0) w.line(indent + 1);
			w.hex(p[i] & 0xFFFFFF, 6);
		}
		if (lines) w.line(indent);
		w.put("}");
		bool clear = false;
		for (uint32_t i = 0; i < n && !clear; i++) clear = (p[i] >> 24) != 255;
		if (clear) {
			w.put(" #{");
			for (uint32_t i = 0; i < n && w.part > 0; i++) {
				if (!flat && i % 10 == 0) w.line(indent + 1);
				w.hex(255 - (p[i] >> 24), 2);
			}
			if (!flat) w.line(indent);
			w.put("}");
		}
	}
	if (!only) w.put("]");
	w.flush();
	return w.part;
}

// ---- Path access ----

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t, bool, bool, bool,
	bool) {
	Method m;
	if (cell::is(element, T_INTEGER) || cell::is(element, T_PAIR)) {
		int32_t index = cell::is(element, T_INTEGER) ? cell::get_integer(element) : 0;
		return value ? poke(parent, index, element, value) : pick(parent, index, element);
	}
	if (compound::is_word(element, words::sym_size)) {
		if (!value) return pair::push(int32_t(width_of(parent)), int32_t(height_of(parent)));
		m = ARGB;  // any value: setting the size is refused below
	} else if (compound::is_word(element, words::sym_rgb)) {
		m = RGB;
	} else if (compound::is_word(element, words::sym_alpha)) {
		m = ALPHA;
	} else if (compound::is_word(element, words::sym_argb)) {
		m = ARGB;
	} else {
		m = Method(-1);
	}
	if (m < 0 || (value && compound::is_word(element, words::sym_size))) {
		Cell none;
		cell::make_none(&none);
		errors::fire(errors::id::script_invalid_path, path ? path : &none, element);
	}
	if (!value) return extract_data(stack::alloc_slot(), parent, m);
	set_data(parent, value, m);
	return value;
}

}  // namespace

Cell* init_image(Cell* out, Node record) {
	cell::set(out, T_IMAGE, 0, record, image_record::header(record)->size);
	return out;
}

Cell* load_binary(Cell* out, const uint8_t* bytes, size_t count) {
	image_codec::Format f = image_codec::sniff(bytes, count);
	if (f == image_codec::UNKNOWN) return none_in(out);
	Node record = image_codec::decode(f, bytes, count);
	if (!record) bad_media();
	return init_image(out, record);
}

Cell* decode(Cell* out, const Cell* source) {
	Cell src = *source;
	if (cell::is(&src, T_BINARY)) {
		load_binary(out, binary::vs_head(&src), binary::vs_length(&src));
		if (cell::is(out, T_NONE)) bad_media();
		return out;
	}
	if (!cell::is(&src, T_FILE)) errors::fire(errors::id::script_invalid_arg, &src);
	Cell* base = stack::top;
	Cell* file = stack::push(&src);
	Cell* bytes = stack::alloc_slot();
	simple_io::read(file, nullptr, nullptr, true, false, bytes);
	Node record = image_codec::decode_any(binary::vs_head(bytes), binary::vs_length(bytes));
	if (!record) errors::fire(errors::id::access_cannot_open, &src);
	stack::top = base;
	return init_image(out, record);
}

Cell* encode(Cell* out, const Cell* img, image_codec::Format format) {
	if (count_of(img) == 0) bad_media();
	simple_io::Bytes bytes;
	if (!image_codec::encode(format, pixels_of(img), width_of(img), height_of(img), bytes)) bad_media();
	Cell* made = binary::load(bytes.data(), uint32_t(bytes.size()));
	*out = *made;
	stack::pop(1);
	return out;
}

Cell* extract_data(Cell* out, const Cell* img, Method method) {
	uint32_t n = count_of(img);
	uint32_t k = method_width(method);
	binary::make_at(out, n * k);
	Series* s = memory::buffer_of(out);
	uint8_t* b = s->head_ptr();
	const uint32_t* p = pixels_of(img);
	switch (method) {
	case ARGB: std::memcpy(b, p, size_t(n) * 4); break;
	case RGB:
		for (uint32_t i = 0; i < n; i++, b += 3) {
			b[0] = uint8_t(p[i] >> 16);
			b[1] = uint8_t(p[i] >> 8);
			b[2] = uint8_t(p[i]);
		}
		break;
	case ALPHA:
		for (uint32_t i = 0; i < n; i++) b[i] = uint8_t(255 - (p[i] >> 24));
		break;
	}
	s->tail = s->head + n * k;
	return out;
}

void set_data(Cell* img, const Cell* value, Method method) {
	uint32_t* p = pixels_of(img);
	uint32_t n = count_of(img);
	switch (cell::type_of(value)) {
	case T_BINARY: set_from_bytes(p, n, binary::vs_head(value), binary::vs_length(value), method); break;
	case T_TUPLE: {
		uint32_t pixel = pixel_of(value);
		if (method == ALPHA) pixel = (255u - tuple::bytes_of(value)[0]) << 24;
		set_all(p, n, pixel, method == ARGB ? 0xFFFFFFFFu : method == RGB ? 0xFFFFFF : OPAQUE);
		break;
	}
	case T_INTEGER: {
		uint32_t v = uint32_t(cell::get_integer(value));
		if (method == ALPHA) v = (255u - (v & 0xFF)) << 24;
		set_all(p, n, v, method == ARGB ? 0xFFFFFFFFu : method == RGB ? 0xFFFFFF : OPAQUE);
		break;
	}
	default: errors::fire(errors::id::script_invalid_arg, value);
	}
	notify(img, words::w_poke, -1, -1);
}

Cell* resize(Cell* out, const Cell* img, uint32_t width, uint32_t height) {
	return init_image(out, image_record::resize(record_of(img), width, height));
}

void release(const Cell* img) { image_record::release(record_of(img)); }

// ---- The row ----

Cell* make(Cell* proto, Cell* spec, Type type) {
	if (cell::is(spec, T_PAIR)) {
		int32_t w = std::max(pair::x_of(spec), 0), h = std::max(pair::y_of(spec), 0);
		return init_image(proto, image_record::make_filled(uint32_t(w), uint32_t(h), image_record::WHITE));
	}
	if (!cell::is(spec, T_BLOCK)) return to(proto, spec, type);
	spans::Cells c = spans::cells_of(spec);
	if (c.count == 0) {
		if (!cell::is(proto, T_IMAGE)) errors::fire(errors::id::script_invalid_arg, spec);
		return copy_whole(proto, proto);
	}
	// [size rgb-or-colour alpha]; the cells are copied before anything is made.
	Cell size = c.head[0];
	Cell colour = c.count > 1 ? c.head[1] : Cell{T_NONE, 0, 0, 0};
	Cell alpha = c.count > 2 ? c.head[2] : Cell{T_NONE, 0, 0, 0};
	if (!cell::is(&size, T_PAIR)) errors::fire(errors::id::script_invalid_arg, &size);
	if (!cell::is(&colour, T_NONE) && !cell::is(&colour, T_BINARY) && !cell::is(&colour, T_TUPLE))
		errors::fire(errors::id::script_invalid_arg, &colour);
	if (!cell::is(&alpha, T_NONE) && !cell::is(&alpha, T_BINARY)) errors::fire(errors::id::script_invalid_arg, &alpha);
	uint32_t w = uint32_t(std::max(pair::x_of(&size), 0)), h = uint32_t(std::max(pair::y_of(&size), 0));
	uint32_t fill = cell::is(&colour, T_TUPLE) ? pixel_of(&colour) : image_record::WHITE;
	Node record = image_record::make_filled(w, h, fill);
	uint32_t* p = image_record::pixels(record);
	if (cell::is(&colour, T_BINARY))
		set_from_bytes(p, w * h, binary::vs_head(&colour), binary::vs_length(&colour), RGB);
	if (cell::is(&alpha, T_BINARY)) set_from_bytes(p, w * h, binary::vs_head(&alpha), binary::vs_length(&alpha), ALPHA);
	return init_image(proto, record);
}

bool (*face_renderer)(const Cell* face, Cell* out) = nullptr;

Cell* to(Cell* proto, Cell* spec, Type) {
	if (cell::is(spec, T_OBJECT) && face_renderer && face_renderer(spec, proto)) return proto;
	if (!cell::is(spec, T_IMAGE)) datatype::fire_type(errors::id::script_bad_to_arg, T_IMAGE, spec);
	return copy_whole(proto, spec);
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
	return write_image(value, buffer, false, false, part, 0);
}

int32_t mold(const Cell* value, Cell* buffer, bool only, bool, bool flat, const Cell*, int32_t part, int32_t indent) {
	return write_image(value, buffer, only, flat, part, indent);
}

// Equal images have the same size and pixels, wherever their heads are.
// Unequal ones are ordered by size, then by their first differing pixel, so
// that sorting stays consistent.
int32_t compare(const Cell* value1, const Cell* value2, CompareOp op) {
	if (!cell::is(value2, T_IMAGE)) return COMPARE_UNRELATED;
	if (op == COMP_SAME) return record_of(value1) == record_of(value2) && value1->data1 == value2->data1 ? 0 : -1;
	if (value1->data3 != value2->data3) return value1->data3 < value2->data3 ? -1 : 1;
	if (record_of(value1) == record_of(value2)) return 0;
	const uint32_t* a = pixels_of(value1);
	const uint32_t* b = pixels_of(value2);
	uint32_t n = count_of(value1);
	for (uint32_t i = 0; i < n; i++)
		if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
	return 0;
}

Cell* pick(Cell* img, int32_t index, const Cell* boxed) {
	int64_t pos = position_of(img, index, boxed);
	Cell* out = stack::alloc_slot();
	if (pos < 0) return none_in(out);
	return tuple_of(pixels_of(img)[pos], out);
}

Cell* poke(Cell* img, int32_t index, const Cell* boxed, Cell* value) {
	int64_t pos = position_of(img, index, boxed);
	if (pos < 0) errors::fire(errors::id::script_out_of_range, boxed);
	if (!cell::is(value, T_TUPLE)) errors::fire(errors::id::script_invalid_arg, value);
	pixels_of(img)[pos] = pixel_of(value);
	notify(img, words::w_poked, int32_t(pos), 1, value);
	return value;
}

Cell* copy(Cell* value, Cell* out, const Cell* part, bool, const Cell*) {
	if (!part) return copy_whole(out, value);
	if (cell::is(part, T_PAIR)) return copy_from_head(out, value, pair::x_of(part), pair::y_of(part));
	if (cell::is(part, T_IMAGE) && record_of(part) == record_of(value)) {
		uint32_t w = width_of(value);
		Cell end = *part;
		uint32_t to = head_of(&end), from = head_of(value);
		int64_t cw = w ? int64_t(to % w) - from % w : 0, ch = w ? int64_t(to / w) - from / w : 0;
		return copy_from_head(out, value, cw, ch);
	}
	if (cell::is(part, T_INTEGER)) errors::fire(errors::id::internal_not_done);
	series::refine_error("part", part);
}

// A tuple changes one pixel from the head, or /part pixels; an image is
// pasted at the head's column and row. The answer is past the changed
// pixels for a tuple, at the same head for an image.
Cell* change(Cell* img, Cell* value, int32_t part, bool, int32_t dup) {
	if (dup >= 2) errors::fire(errors::id::internal_not_done);
	uint32_t head = head_of(img);
	if (cell::is(value, T_TUPLE)) {
		uint32_t n = std::min<uint32_t>(part < 0 ? 1 : uint32_t(part), count_of(img) - head);
		set_all(pixels_of(img) + head, n, pixel_of(value), 0xFFFFFFFFu);
		Cell kept = *img;
		notify(&kept, words::w_changed, int32_t(head), int32_t(n), value);
		img->data1 = head + n;
		return img;
	}
	if (!cell::is(value, T_IMAGE)) datatype::fire_type(errors::id::script_invalid_type, cell::type_of(value));
	paste(img, value);
	Cell kept = *img;
	notify(&kept, words::w_changed, int32_t(head), -1, value);
	return img;
}

void init_type() {
	ActionRow row{};
	row.make = make;
	row.to = to;
	row.form = form;
	row.mold = mold;
	row.eval_path = eval_path;
	row.compare = compare;
	row.at = at;
	row.change = change;
	row.copy = copy;
	row.length_q = length_q;
	row.next = next;
	row.pick = pick;
	row.poke = poke;
	row.skip = skip;
	row.tail = tail;
	row.tail_q = tail_q;
	uint64_t inherited = 0;
	for (Slot s : {A_BACK, A_HEAD, A_HEAD_Q, A_INDEX_Q, A_MODIFY}) inherited |= registry::slot_bit(s);
	registry::register_type(T_IMAGE, T_SERIES, "image!", row, inherited);
	image_record::init();
}

}  // namespace vyn::image
