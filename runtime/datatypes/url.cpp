#include "runtime/datatypes/url.h"

#include <cstdint>

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/file.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/word.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/stack.h"
#include "runtime/utf8.h"

namespace vyn::url {

void (*parse_url)(Cell* url, Cell* out) = nullptr;

namespace {

// Bit c of the URL set and of the unreserved set, for c below 128.
constexpr uint64_t set_bits(const char* chars, int half) {
	uint64_t bits = 0;
	for (const char* p = chars; *p; p++)
		if (*p / 64 == half) bits |= uint64_t(1) << (*p % 64);
	return bits;
}
constexpr const char* ALNUM = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr const char* URL_EXTRA = "!#$&'()*+,-./:=?@_~";
constexpr const char* UNRESERVED_EXTRA = "-._~";
constexpr uint64_t URL_SET[2] = {set_bits(ALNUM, 0) | set_bits(URL_EXTRA, 0), set_bits(ALNUM, 1) | set_bits(URL_EXTRA, 1)};
constexpr uint64_t UNRESERVED_SET[2] = {set_bits(ALNUM, 0) | set_bits(UNRESERVED_EXTRA, 0),
	set_bits(ALNUM, 1) | set_bits(UNRESERVED_EXTRA, 1)};

inline bool in_set(const uint64_t* set, uint32_t c) { return c < 128 && ((set[c / 64] >> (c % 64)) & 1); }

constexpr char HEX[] = "0123456789ABCDEF";

inline int hex_value(uint32_t c) {
	if (c >= '0' && c <= '9') return int(c - '0');
	if (c >= 'A' && c <= 'F') return int(c - 'A' + 10);
	if (c >= 'a' && c <= 'f') return int(c - 'a' + 10);
	return -1;
}

// Calls f(byte) for each byte of the UTF-8 form of a value's text.
template <class F>
void each_utf8_byte(Cell* text, F&& f) {
	string::Text t = string::text_of(text);
	for (uint32_t i = 0; i < t.length; i++) {
		uint32_t c = t.unit(i);
		if (c < 0x80) {
			f(uint8_t(c));
			continue;
		}
		uint8_t bytes[4];
		uint32_t n = unicode::encode_utf8(c, bytes);
		for (uint32_t k = 0; k < n; k++) f(bytes[k]);
	}
}

}  // namespace

bool in_url_set(uint32_t c) { return in_set(URL_SET, c); }
bool in_unreserved_set(uint32_t c) { return in_set(UNRESERVED_SET, c); }

Escaped escape_byte(int32_t mode, uint8_t byte) {
	bool kept = mode == ENCODE_UNRESERVED ? in_unreserved_set(byte) : in_url_set(byte);
	if (kept) return {{char(byte)}, 1};
	return {{'%', HEX[byte >> 4], HEX[byte & 15]}, 3};
}

bool hex_pair(const uint8_t* units, uint32_t width, uint32_t left, uint8_t* out) {
	if (left < 3 || unicode::get_unit(units, width) != '%') return false;
	int hi = hex_value(unicode::get_unit(units + width, width));
	int lo = hex_value(unicode::get_unit(units + 2 * width, width));
	if (hi < 0 || lo < 0) return false;
	*out = uint8_t(hi * 16 + lo);
	return true;
}

void decode(Cell* text, Cell* out) {
	Cell v = *text;
	string::Text t = string::text_of(&v);
	// Appending grows `out` only, never the text's buffer.
	decode_units(t.at, t.width, t.length, out);
}

void decode_units(const uint8_t* units, uint32_t width, uint32_t length, Cell* out) {
	for (uint32_t i = 0; i < length;) {
		const uint8_t* at = units + size_t(i) * width;
		uint8_t byte;
		if (!hex_pair(at, width, length - i, &byte)) {
			string::append_char(out, unicode::get_unit(at, width));
			i++;
			continue;
		}
		uint32_t need = unicode::utf8_length(byte);
		if (need == 0) {
			string::append_char(out, byte);
			i += 3;
			continue;
		}
		// Gather the escapes of the sequence; too few of them leave the
		// lead byte to stand for itself.
		uint8_t seq[4] = {byte};
		uint32_t got = 1;
		while (got < need && hex_pair(at + size_t(got) * 3 * width, width, length - i - got * 3, &seq[got])) got++;
		if (got < need) {
			string::append_char(out, byte);
			i += 3;
			continue;
		}
		uint32_t remaining = need;
		int32_t cp = unicode::decode_utf8_checked(seq, &remaining);
		string::append_char(out, uint32_t(cp));
		i += need * 3;
	}
}

void encode(Cell* text, Cell* out, int32_t mode) {
	Cell v = *text;
	each_utf8_byte(&v, [&](uint8_t b) {
		Escaped e = escape_byte(mode, b);
		string::append_literal(out, {e.text, e.length});
	});
}

Cell* load_decoded(Cell* out, const uint8_t* bytes, uint32_t size) {
	Cell raw;
	string::load_at(&raw, bytes, size);
	string::make_at(out, size);
	decode(&raw, out);
	return out;
}

Cell* push(const Cell* value) { return stack::push(value); }

// ---- The row ----

Cell* make(Cell* proto, Cell* spec, Type type) {
	Type t = cell::type_of(spec);
	if (type == T_URL && (t == T_BLOCK || t == T_PAREN || t == T_HASH)) return to(proto, spec, type);
	return string::make(proto, spec, type);
}

Cell* to(Cell* proto, Cell* spec, Type type) {
	Type t = cell::type_of(spec);
	if (type != T_URL || !(t == T_BLOCK || t == T_PAREN || t == T_HASH)) return string::to(proto, spec, type);
	Series* s = memory::buffer_of(spec);
	uint32_t count = s->used() / sizeof(Cell);
	uint32_t head = spec->data1 < count ? spec->data1 : count;
	if (head == count) datatype::fire_type(errors::id::script_bad_to_arg, T_URL, spec);
	Cell result;
	string::make_at(&result, 32);
	// Cells are re-read by index: forming appends only to the result.
	auto item = [&](uint32_t i) { return memory::buffer_of(spec)->head_cell()[i]; };
	Cell v = item(head);
	actions::form(&v, &result, nullptr, 0x7FFFFFFF);
	string::append_literal(&result, "://");
	uint32_t i = head + 1;
	if (i < count) {
		v = item(i++);
		actions::form(&v, &result, nullptr, 0x7FFFFFFF);
	}
	if (i < count && cell::is(&memory::buffer_of(spec)->head_cell()[i], T_INTEGER)) {
		v = item(i++);
		string::append_char(&result, ':');
		actions::form(&v, &result, nullptr, 0x7FFFFFFF);
	}
	for (; i < count; i++) {
		v = item(i);
		string::append_char(&result, cell::is(&v, T_ISSUE) ? '#' : '/');
		actions::form(&v, &result, nullptr, 0x7FFFFFFF);
	}
	cell::set_type(&result, T_URL);
	*proto = result;
	return proto;
}

namespace {

inline bool is_ascii_letter(uint32_t c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
inline bool is_digit(uint32_t c) { return c >= '0' && c <= '9'; }
inline bool is_one_of(uint32_t c, const char* set) {
	for (; *set; set++)
		if (c == uint32_t(uint8_t(*set))) return true;
	return false;
}

// Whether the first character of a url's text can start the word that the
// lexer reads before the url's first ":" ("<" only as "<<", "<=", "<>").
bool starts_word(const string::Text& t) {
	uint32_t c = t.unit(0);
	if (is_ascii_letter(c) || c >= 0x80 || is_one_of(c, "!&*?_~`|>=^+-.")) return true;
	return c == '<' && t.length > 1 && is_one_of(t.unit(1), "<=>");
}

// Characters the lexer reads as the end of a url (or of the word before
// its ":") although they belong to the URL set.
constexpr const char* BREAKS_BODY = "()";
constexpr const char* BREAKS_WORD = "()$@/,";

}  // namespace

// The lexer reads a url only as a word, a ":" and a body, percent-decoded
// when it holds a "%": besides what lies outside the URL set, the part
// before the first ":" escapes what would end or retype the word and keeps
// its first character as it is, and the body escapes the bytes that end a
// url. A text with no such reading (no ":" after a word start, nothing
// after the ":") is written with the URL set alone.
void mold_chars(const Cell* value, MoldSink emit, void* sink) {
	Cell v = *value;
	string::Text t = string::text_of(&v);
	uint32_t colon = 0;
	while (colon < t.length && t.unit(colon) != ':') colon++;
	bool loadable = colon > 0 && colon + 1 < t.length && starts_word(t);
	uint32_t first = loadable ? t.unit(0) : 0;
	for (uint32_t i = 0; i < t.length; i++) {
		uint32_t c = t.unit(i);
		bool escape = c >= 0x80 || !in_url_set(c);
		if (loadable) {
			if (i == 0 || (i == 1 && first == '<') || i == colon) {
				escape = false;
			} else if (i < colon) {
				escape = escape || is_one_of(c, BREAKS_WORD) ||
					(i == 1 && is_one_of(first, "+-.") && (is_digit(c) || c == '.'));
			} else {
				escape = escape || is_one_of(c, BREAKS_BODY) || (i == colon + 1 && (c == ':' || c == ','));
			}
		}
		if (!escape) {
			if (!emit(sink, c)) return;
			continue;
		}
		uint8_t bytes[4];
		uint32_t n = unicode::encode_utf8(c, bytes);
		for (uint32_t k = 0; k < n; k++)
			if (!emit(sink, '%') || !emit(sink, uint8_t(HEX[bytes[k] >> 4])) || !emit(sink, uint8_t(HEX[bytes[k] & 15])))
				return;
	}
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* arg, int32_t part, int32_t) {
	struct Limited {
		Cell* buffer;
		int64_t room;
		int64_t written = 0;
	} out{buffer, arg ? part : INT64_MAX};
	if (out.room > 0) {
		mold_chars(value, [](void* sink, uint32_t c) {
			auto* o = static_cast<Limited*>(sink);
			string::append_char(o->buffer, c);
			return ++o->written < o->room;
		}, &out);
	}
	return part - int32_t(out.written);
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell*, Cell*, Cell*, int32_t, bool, bool, bool, bool) {
	if (value) errors::fire(errors::id::script_bad_path_set, element, value);
	Cell joined, piece, part = *element;
	if (cell::is(element, T_GET_WORD)) {
		Cell* base = stack::top;
		part = *word::get(element);
		stack::top = base;
	}
	string::copy_text(&joined, parent, -1, cell::type_of(parent));
	string::make_at(&piece, 16);
	actions::form(&part, &piece, nullptr, 0x7FFFFFFF);
	uint32_t length = string::vs_length(&joined);
	bool ends = length > 0 && string::abs_char_at(&joined, length - 1) == '/';
	bool begins = string::vs_length(&piece) > 0 && string::abs_char_at(&piece, 0) == '/';
	if (ends && begins)
		piece.data1 = 1;
	else if (!ends && !begins)
		string::append_char(&joined, '/');
	string::append_string(&joined, &piece, -1);
	*parent = joined;
	return parent;
}

Cell* to_port(Cell* url, bool open, bool new_, bool read, bool write, bool seek, bool allow, const Cell* access,
	Cell* out) {
	if (!parse_url) errors::fire(errors::id::internal_not_done);
	// The parser runs Vyn code: keep the values on the data stack.
	Cell* base = stack::top;
	Cell* kept = stack::push(url);
	Cell* spec = stack::alloc_slot();
	cell::make_none(spec);
	parse_url(kept, spec);
	if (!cell::is(spec, T_OBJECT)) errors::fire(errors::id::script_invalid_arg, kept);
	Cell* port = stack::alloc_slot();
	datatype::make_at(port, T_PORT);
	port = actions::get_for_type<action::MakeFn>(T_PORT, spec, A_MAKE)(port, spec, T_PORT);
	if (open) port = actions::get<action::OpenFn>(port, A_OPEN)(port, new_, read, write, seek, allow, access);
	*out = *port;
	stack::top = base;
	return out;
}

namespace {

// Where read and write of a URL choose their road: a URL that starts with
// "http" (https too) goes to the HTTP layer, any other to the port that
// its registered scheme serves (parse-url, then make port!).
bool is_http(Cell* url) {
	Cell v = *url;
	return string::starts_with_ascii(&v, "http");
}

// The port of a URL, pushed on the data stack.
Cell* push_port(Cell* url) {
	Cell port;
	to_port(url, false, false, false, false, false, false, nullptr, &port);
	return stack::push(&port);
}

Cell* read_port(Cell* source, const Cell* part, const Cell* seek, bool binary, bool lines, bool info,
	const Cell* as) {
	Cell* base = stack::top;
	Cell* p = push_port(source);
	*source = *actions::get<action::ReadFn>(p, A_READ)(p, part, seek, binary, lines, info, as);
	stack::top = base;
	return source;
}

Cell* write_port(Cell* destination, Cell* data, bool binary, bool lines, bool info, bool append,
	const Cell* part, const Cell* seek, const Cell* allow, const Cell* as) {
	Cell* base = stack::top;
	Cell* p = push_port(destination);
	*destination =
		*actions::get<action::WriteFn>(p, A_WRITE)(p, data, binary, lines, info, append, part, seek, allow, as);
	stack::top = base;
	return destination;
}

void method_name(const char* name, Cell* out) {
	if (actions::make_word)
		actions::make_word(name, out);
	else
		string::load_at(out, name);
}

[[noreturn]] void no_connect(Cell* url) { errors::fire(errors::id::access_no_connect, url); }

Cell* http(const Cell* method, Cell* url, const Cell* headers, const Cell* body, bool binary, bool lines, bool info) {
	if (!file::io.request_http) errors::fire(errors::id::internal_not_done);
	Cell* base = stack::top;
	Cell* kept = stack::push(url);
	Cell* out = stack::alloc_slot();
	cell::make_none(out);
	if (!file::io.request_http(method, kept, headers, body, binary, lines, info, out)) no_connect(kept);
	*url = *out;
	stack::top = base;
	return url;
}

Cell* open(Cell* port, bool new_, bool read, bool write, bool seek, bool allow, const Cell* access) {
	return to_port(port, true, new_, read, write, seek, allow, access, port);
}

Cell* read(Cell* source, const Cell* part, const Cell* seek, bool binary, bool lines, bool info, const Cell* as) {
	if (!is_http(source)) return read_port(source, part, seek, binary, lines, info, as);
	if (part || seek || as) errors::fire(errors::id::internal_not_done);
	Cell method;
	method_name("get", &method);
	return http(&method, source, nullptr, nullptr, binary, lines, info);
}

Cell* write(Cell* destination, Cell* data, bool binary, bool lines, bool info, bool append, const Cell* part,
	const Cell* seek, const Cell* allow, const Cell* as) {
	if (!is_http(destination)) return write_port(destination, data, binary, lines, info, append, part, seek, allow, as);
	if (seek || allow || as) errors::fire(errors::id::internal_not_done);
	Cell method, headers, body;
	cell::make_none(&headers);
	cell::make_none(&body);
	if (cell::is(data, T_BLOCK)) {
		Series* s = memory::buffer_of(data);
		uint32_t count = s->used() / sizeof(Cell);
		uint32_t head = data->data1 < count ? data->data1 : count;
		Cell* cells = s->head_cell() + head;
		uint32_t n = count - head;
		if (n == 0) {
			method_name("get", &method);
		} else {
			method = cells[0];
			if (!cell::is(&method, T_WORD)) errors::fire(errors::id::script_invalid_arg, &method);
			if (n > 1) {
				if (!cell::is(&cells[1], T_BLOCK)) errors::fire(errors::id::script_invalid_arg, &cells[1]);
				headers = cells[1];
			}
			if (n > 2) body = cells[2];
		}
	} else {
		method_name("post", &method);
		body = *data;
	}
	Type bt = cell::type_of(&body);
	if (bt != T_NONE && bt != T_BLOCK && bt != T_STRING && bt != T_BINARY)
		errors::fire(errors::id::script_invalid_arg, &body);
	return http(&method, destination, cell::is(&headers, T_NONE) ? nullptr : &headers,
		bt == T_NONE ? nullptr : &body, binary, lines, info);
}

}  // namespace

void init_type() {
	using registry::slot_bit;
	constexpr uint64_t own = slot_bit(A_MAKE) | slot_bit(A_TO) | slot_bit(A_MOLD) | slot_bit(A_EVAL_PATH) |
		slot_bit(A_OPEN) | slot_bit(A_READ) | slot_bit(A_WRITE);
	constexpr uint64_t unsupported = slot_bit(A_DELETE) | slot_bit(A_QUERY) | slot_bit(A_RENAME) | slot_bit(A_CREATE) |
		slot_bit(A_CLOSE) | slot_bit(A_OPEN_Q) | slot_bit(A_UPDATE);
	ActionRow row{};
	row.make = make;
	row.to = to;
	row.mold = mold;
	row.eval_path = eval_path;
	row.open = open;
	row.read = read;
	row.write = write;
	registry::register_type(T_URL, T_STRING, "url!", row, registry::INHERIT_ALL & ~own & ~unsupported);
}

}  // namespace vyn::url
