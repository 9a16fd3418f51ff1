#include "runtime/io/json.h"

#include <cmath>
#include <string>
#include <unordered_map>
#include <vector>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/lexer.h"
#include "runtime/evaluator/stack.h"
#include "runtime/unicode.h"
#include "runtime/utf8.h"
#include "runtime/words.h"

namespace vyn::json {

namespace {

const Cell NONE_CELL{T_NONE, 0, 0, 0};

inline Cell* args() { return stack::arguments; }

int hex_digit(uint32_t c) {
	if (c >= '0' && c <= '9') return int(c - '0');
	if (c >= 'A' && c <= 'F') return int(c - 'A' + 10);
	if (c >= 'a' && c <= 'f') return int(c - 'a' + 10);
	return -1;
}

// The four hexadecimal digits at `i`, or -1.
int32_t hex4(const string::Text& t, uint32_t i) {
	if (i + 4 > t.length) return -1;
	int32_t code = 0;
	for (uint32_t k = 0; k < 4; k++) {
		int d = hex_digit(t.unit(i + k));
		if (d < 0) return -1;
		code = code * 16 + d;
	}
	return code;
}

// The character a one-letter escape stands for, or -1.
int32_t simple_escape(uint32_t c) {
	switch (c) {
	case '"': case '\\': case '/': return int32_t(c);
	case 'b': return 0x08;
	case 'f': return 0x0C;
	case 'n': return '\n';
	case 'r': return '\r';
	case 't': return '\t';
	default: return -1;
	}
}

// Decodes the escapes of t[from, to) into code points; false for a bad
// escape or an unpaired high surrogate (a lone low one stays as it is).
bool decode_escapes(const string::Text& t, uint32_t from, uint32_t to, std::vector<uint32_t>& out,
	uint32_t& widest) {
	widest = 0;
	for (uint32_t i = from; i < to;) {
		uint32_t c = t.unit(i++);
		if (c == '\\') {
			if (i >= to) return false;
			uint32_t e = t.unit(i++);
			if (e == 'u') {
				int32_t code = hex4(t, i);
				if (code < 0 || i + 4 > to) return false;
				i += 4;
				if (code >= 0xD800 && code <= 0xDBFF) {
					if (i + 6 > to || t.unit(i) != '\\' || t.unit(i + 1) != 'u') return false;
					int32_t low = hex4(t, i + 2);
					if (low < 0xDC00 || low > 0xDFFF) return false;
					i += 6;
					code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
				}
				c = uint32_t(code);
			} else {
				int32_t s = simple_escape(e);
				if (s < 0) return false;
				c = uint32_t(s);
			}
		}
		out.push_back(c);
		if (c > widest) widest = c;
	}
	return true;
}

// ------------------------------------------------------------- decoding

// One pass of the grammar, failing at the first character no rule takes:
// each rule consumes its trailing white space, so no rule tried after a
// failure gets past it. `mark` is the place after the last value (or
// line feed) read, which the error reports.
struct Decoder {
	Cell input;
	string::Text t;
	uint32_t pos = 0, mark = 0, last_lf = 0;
	int32_t line = 1;
	std::vector<uint32_t> chars;
	std::unordered_map<std::u32string, Cell> keys;  // key text -> word! (or none: stays a string)
	std::u32string key;

	uint32_t at(uint32_t i) const { return t.unit(i); }
	bool more() const { return pos < t.length; }

	void ws() {
		while (pos < t.length) {
			uint32_t c = at(pos);
			if (c == ' ' || c == '\t' || c == '\r') {
				pos++;
			} else if (c == '\n') {
				pos++;
				line++;
				last_lf = mark = pos;
			} else {
				break;
			}
		}
	}

	bool literal(const char* text) {
		uint32_t i = 0;
		for (; text[i]; i++)
			if (pos + i >= t.length || at(pos + i) != uint8_t(text[i])) return false;
		pos += i;
		return true;
	}

	// The string's text between its quotes: [from, to) with escapes unchecked.
	bool string_span(uint32_t& from, uint32_t& to, bool& escaped) {
		if (!more() || at(pos) != '"') return false;
		uint32_t i = pos + 1;
		from = i;
		escaped = false;
		while (i < t.length) {
			uint32_t c = at(i);
			if (c == '"') break;
			if (c < 32) return false;
			if (c == '\\') {
				if (i + 1 >= t.length) return false;
				uint32_t e = at(i + 1);
				if (e == 'u') {
					for (uint32_t k = 2; k < 6; k++)
						if (i + k >= t.length || hex_digit(at(i + k)) < 0) return false;
					i += 6;
				} else if (simple_escape(e) >= 0) {
					i += 2;
				} else {
					return false;
				}
				escaped = true;
				continue;
			}
			i++;
		}
		if (i >= t.length) return false;
		to = i;
		pos = i + 1;
		return true;
	}

	void make_string(uint32_t from, uint32_t to, bool escaped, Cell* out) {
		if (!escaped) {
			uint32_t widest = 0;
			for (uint32_t i = from; i < to; i++) widest = std::max(widest, at(i));
			string::make_at_unit(out, to - from, unicode::width_for(widest));
			string::append_units(out, t.at + size_t(from) * t.width, t.width, to - from);
			return;
		}
		chars.clear();
		uint32_t widest;
		if (!decode_escapes(t, from, to, chars, widest)) {
			Cell bad;
			string::make_at_unit(&bad, to - from, t.width);
			string::append_units(&bad, t.at + size_t(from) * t.width, t.width, to - from);
			errors::fire(errors::id::script_invalid_data, &bad);
		}
		uint32_t width = unicode::width_for(widest);
		string::make_at_unit(out, uint32_t(chars.size()), width);
		Series* s = memory::buffer_of(out);
		for (uint32_t k = 0; k < chars.size(); k++) s = string::poke_char(s, k, chars[k]);
		s->tail = s->head + uint32_t(chars.size()) * s->unit();
	}

	static bool word_1st(uint32_t c) { return !not_word_char(c) && !(c >= '0' && c <= '9') && c != '\''; }
	static bool not_word_char(uint32_t c) {
		switch (c) {
		case '/': case '\\': case '^': case ',': case '[': case ']': case '(': case ')': case '{': case '}':
		case '"': case '#': case '%': case '$': case '@': case ':': case ';': case '\n': case 0xA0: case ' ':
		case '\t': case '\r': case '<': case '>': return true;
		default: return false;
		}
	}

	// An object key: a word! when its text is one word, else the string.
	void make_key(uint32_t from, uint32_t to, bool escaped, Cell* out) {
		make_string(from, to, escaped, out);
		string::Text k = string::text_of(out);
		if (k.length == 0 || !word_1st(k.unit(0))) return;
		for (uint32_t i = 1; i < k.length; i++)
			if (not_word_char(k.unit(i))) return;
		key.clear();
		for (uint32_t i = 0; i < k.length; i++) key.push_back(char32_t(k.unit(i)));
		auto found = keys.find(key);
		if (found == keys.end()) {
			std::string utf8;
			for (char32_t c : key) {
				uint8_t b[4];
				utf8.append(reinterpret_cast<char*>(b), unicode::encode_utf8(uint32_t(c), b));
			}
			Cell w = NONE_CELL;
			if (!word::from_utf8(reinterpret_cast<const uint8_t*>(utf8.data()), uint32_t(utf8.size()), &w))
				w = NONE_CELL;
			found = keys.emplace(key, w).first;
		}
		if (!cell::is(&found->second, T_NONE)) *out = found->second;
	}

	static bool digit(uint32_t c) { return c >= '0' && c <= '9'; }

	// Numbers load as the lexer loads them; one past the float range fails.
	bool number(Cell* out) {
		uint32_t start = pos, i = pos;
		if (i < t.length && at(i) == '-') i++;
		if (i >= t.length || !digit(at(i))) return false;
		if (at(i) == '0') {
			i++;
		} else {
			while (i < t.length && digit(at(i))) i++;
		}
		bool is_float = false;
		if (i < t.length && at(i) == '.' && i + 1 < t.length && digit(at(i + 1))) {
			is_float = true;
			i++;
			while (i < t.length && digit(at(i))) i++;
		}
		if (i < t.length && (at(i) == 'e' || at(i) == 'E')) {
			uint32_t j = i + 1;
			if (j < t.length && (at(j) == '+' || at(j) == '-')) j++;
			if (j < t.length && digit(at(j))) {
				is_float = true;
				i = j;
				while (i < t.length && digit(at(i))) i++;
			}
		}
		const uint8_t* units = t.at + size_t(start) * t.width;
		int32_t error = 0;
		if (!is_float) {
			int32_t n = lexer::scan_integer(units, t.width, i - start, &error);
			if (error == 0) {
				cell::make_integer(out, n);
				pos = i;
				return true;
			}
		}
		error = 0;
		double d = lexer::scan_float(units, t.width, i - start, &error);
		if (error != 0 || !std::isfinite(d)) return false;
		cell::make_float(out, d);
		pos = i;
		return true;
	}

	bool value(Cell* out) {
		ws();
		if (!more()) return false;
		// Nesting deeper than the C++ stack allows refuses the document.
		char probe;
		if (reinterpret_cast<uintptr_t>(&probe) < stack::native_stack_limit) return false;
		uint32_t c = at(pos);
		bool ok;
		if (c == 't' && literal("true")) {
			cell::set(out, T_LOGIC, 1);
			ok = true;
		} else if (c == 'f' && literal("false")) {
			cell::set(out, T_LOGIC, 0);
			ok = true;
		} else if (c == 'n' && literal("null")) {
			*out = NONE_CELL;
			ok = true;
		} else if (c == '{') {
			ok = object(out);
		} else if (c == '[') {
			ok = array(out);
		} else if (c == '"') {
			uint32_t from, to;
			bool escaped;
			ok = string_span(from, to, escaped);
			if (ok) make_string(from, to, escaped, out);
		} else {
			ok = number(out);
		}
		if (!ok) return false;
		mark = pos;
		ws();
		return true;
	}

	bool separator() {
		ws();
		if (!more() || at(pos) != ',') return false;
		pos++;
		ws();
		return true;
	}

	bool close(uint32_t bracket) {
		ws();
		if (!more() || at(pos) != bracket) return false;
		pos++;
		return true;
	}

	bool array(Cell* out) {
		pos++;
		block::make_at(out, 4);
		ws();
		if (more() && at(pos) != ']') {
			do {
				Cell item;
				if (!value(&item)) return false;
				block::append_value(out, &item);
			} while (separator());
		}
		return close(']');
	}

	bool property(Cell* map) {
		ws();
		uint32_t from, to;
		bool escaped;
		if (!string_span(from, to, escaped)) return false;
		Cell k;
		make_key(from, to, escaped, &k);
		mark = pos;
		ws();
		if (!more() || at(pos) != ':') return false;
		pos++;
		ws();
		Cell v;
		if (!value(&v)) return false;
		map::set_value(map, &k, &v, true);
		return true;
	}

	bool object(Cell* out) {
		pos++;
		map::make_at(out, 0, 8);
		ws();
		if (more() && at(pos) != '}') {
			do {
				if (!property(out)) return false;
			} while (separator());
		}
		return close('}');
	}

	// "Invalid JSON string. Line: L Index: I Column: C Near: N", returned as
	// a user error.
	void failure(Cell* out) {
		std::string text = "Invalid JSON string. Line: " + std::to_string(line) + " Index: " +
			std::to_string(input.data1 + mark + 1) + " Column: " + std::to_string(mark - last_lf) + " Near: ";
		Cell msg;
		string::make_at(&msg, uint32_t(text.size() + 48));
		string::append_literal(&msg, text);
		if (mark >= t.length) {
			string::append_literal(&msg, "<end of input>");
		} else {
			uint32_t n = std::min<uint32_t>(40, t.length - mark);
			Cell near;
			string::make_at_unit(&near, n, t.width);
			string::append_units(&near, t.at + size_t(mark) * t.width, t.width, n);
			actions::mold(&near, &msg, false, false, false, nullptr, 0x7FFFFFFF, 0);
		}
		*out = *error::make(nullptr, &msg, T_ERROR);
	}
};

// ------------------------------------------------------------- encoding

struct Encoder {
	Cell out;
	Cell indent;
	bool pretty = false;
	bool ascii = false;
	int32_t level = 0;
	Cell scratch;

	bool normal(uint32_t c) const {
		if (c < 32 || c == '"' || c == '\\') return false;
		return !ascii || c <= 127;
	}

	void hex_escape(uint32_t code) {
		static const char digits[] = "0123456789ABCDEF";
		char buf[6] = {'\\', 'u', digits[(code >> 12) & 15], digits[(code >> 8) & 15], digits[(code >> 4) & 15],
			digits[code & 15]};
		string::append_literal(&out, std::string_view(buf, 6));
	}

	void escape(uint32_t c) {
		switch (c) {
		case '"': string::append_literal(&out, "\\\""); return;
		case '\\': string::append_literal(&out, "\\\\"); return;
		case 0x08: string::append_literal(&out, "\\b"); return;
		case 0x0C: string::append_literal(&out, "\\f"); return;
		case '\n': string::append_literal(&out, "\\n"); return;
		case '\r': string::append_literal(&out, "\\r"); return;
		case '\t': string::append_literal(&out, "\\t"); return;
		default: break;
		}
		if (c <= 0xFFFF) return hex_escape(c);
		c -= 0x10000;
		hex_escape((c >> 10) + 0xD800);
		hex_escape((c & 1023) + 0xDC00);
	}

	// Runs of normal characters are copied whole.
	void text(Cell* str) {
		string::append_char(&out, '"');
		string::Text t = string::text_of(str);
		uint32_t run = 0;
		for (uint32_t i = 0; i < t.length; i++) {
			uint32_t c = t.unit(i);
			if (normal(c)) continue;
			if (i > run) string::append_units(&out, t.at + size_t(run) * t.width, t.width, i - run);
			escape(c);
			run = i + 1;
			t = string::text_of(str);  // the output never shares the source's buffer, but stay safe
		}
		if (t.length > run) string::append_units(&out, t.at + size_t(run) * t.width, t.width, t.length - run);
		string::append_char(&out, '"');
	}

	void formed_text(const Cell* value, bool mold) {
		string::make_at(&scratch, 32);
		if (mold)
			actions::mold(value, &scratch, false, false, false, nullptr, 0x7FFFFFFF, 0);
		else
			actions::form(value, &scratch, nullptr, 0x7FFFFFFF);
		Cell s = scratch;
		text(&s);
	}

	void line(int32_t delta) {
		string::append_char(&out, '\n');
		level += delta;
		for (int32_t i = 0; i < level; i++) string::append_string(&out, &indent, -1);
	}

	void number(double d) {
		if (!std::isfinite(d)) return string::append_literal(&out, "null");
		Cell f;
		cell::make_float(&f, d);
		actions::mold(&f, &out, false, false, false, nullptr, 0x7FFFFFFF, 0);
	}

	void items(Cell* b) {
		uint32_t n = block::length(b);
		if (n == 0) return string::append_literal(&out, "[]");
		string::append_char(&out, '[');
		if (pretty) line(1);
		for (uint32_t i = 0; i < n; i++) {
			if (i) {
				string::append_char(&out, ',');
				if (pretty) line(0);
			}
			Cell v = block::vs_head(b)[i];
			value(&v);
		}
		if (pretty) line(-1);
		string::append_char(&out, ']');
	}

	// Keys and values side by side (a map's body, or an object's words and
	// values).
	void pairs(Cell* keys, Cell* values, uint32_t step) {
		uint32_t n = block::length(keys) / step;
		if (n == 0) return string::append_literal(&out, "{}");
		string::append_char(&out, '{');
		if (pretty) line(1);
		for (uint32_t i = 0; i < n; i++) {
			if (i) {
				string::append_char(&out, ',');
				if (pretty) line(0);
			}
			Cell k = block::vs_head(keys)[i * step];
			Cell v = block::vs_head(values)[step == 2 ? i * 2 + 1 : i];
			if (word::is_any_word(cell::type_of(&k))) {
				cell::set_type(&k, T_WORD);
				formed_text(&k, false);
			} else if (cell::is(&k, T_STRING)) {
				text(&k);
			} else {
				formed_text(&k, true);
			}
			string::append_literal(&out, pretty ? ": " : ":");
			value(&v);
		}
		if (pretty) line(-1);
		string::append_char(&out, '}');
	}

	void value(Cell* v) {
		stack::guard_native_stack();
		Type type = cell::type_of(v);
		switch (type) {
		case T_NONE: return string::append_literal(&out, "null");
		case T_LOGIC: return string::append_literal(&out, v->data1 ? "true" : "false");
		case T_INTEGER: actions::form(v, &out, nullptr, 0x7FFFFFFF); return;
		case T_FLOAT: return number(cell::get_double(v));
		case T_PERCENT: return number(cell::get_double(v));
		case T_STRING: return text(v);
		case T_BLOCK: return items(v);
		case T_MAP: {
			Cell body = *v;
			Cell* b = stack::push(map::reflect(&body, words::sym_body));
			Cell held = *b;
			pairs(&held, &held, 2);
			stack::pop(1);
			return;
		}
		case T_OBJECT: {
			Cell w = *v, vals = *v;
			Cell* held_words = stack::push(object::reflect(&w, words::sym_words));
			Cell* held_values = stack::push(object::reflect(&vals, words::sym_values));
			Cell ws = *held_words, vs = *held_values;
			pairs(&ws, &vs, 1);
			stack::pop(2);
			return;
		}
		default: break;
		}
		if (string::any_string(type)) return formed_text(v, false);
		if (series::any_block(type)) {
			Cell b = *v;
			cell::set_type(&b, T_BLOCK);
			return items(&b);
		}
		formed_text(v, true);
	}
};

}  // namespace

void unescape(Cell* str) {
	string::Text t = string::text_of(str);
	std::vector<uint32_t> chars;
	chars.reserve(t.length);
	uint32_t widest;
	if (!decode_escapes(t, 0, t.length, chars, widest)) errors::fire(errors::id::script_invalid_data, str);
	uint32_t start = str->data1;
	Series* s = string::widen_to(memory::buffer_of(str), unicode::width_for(widest));
	for (uint32_t k = 0; k < chars.size(); k++) s = string::poke_char(s, start + k, chars[k]);
	string::truncate(str, start + uint32_t(chars.size()));
}

void unescape_routine() {
	Cell* str = args();
	unescape(str);
	stack::set_result(str);
}

void load_entry() {
	Decoder d;
	d.input = args()[0];
	d.t = string::text_of(&d.input);
	Cell* result = stack::alloc_slot();
	*result = NONE_CELL;
	bool ok = d.value(result) && d.pos == d.t.length;
	if (!ok) d.failure(result);
	stack::set_result(result);
}

void to_entry() {
	Encoder e;
	Cell data = args()[0];
	e.pretty = interpreter::truthy(&args()[1]);
	if (e.pretty) e.indent = args()[2];
	e.ascii = interpreter::truthy(&args()[3]);
	Cell* out = stack::alloc_slot();
	string::make_at(out, 4000);
	e.out = *out;
	e.value(&data);
	stack::set_result(&e.out);
}

}  // namespace vyn::json
