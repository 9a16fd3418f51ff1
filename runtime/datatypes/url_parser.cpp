#include "runtime/datatypes/url_parser.h"

#include <string>
#include <vector>

#include "runtime/context.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/url.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/stack.h"
#include "runtime/symbol.h"
#include "runtime/words.h"

namespace vyn::url_parser {

namespace {

// Character classes of the grammar's sets, for ASCII.
enum : uint8_t {
	ALPHA = 1,      // alpha
	DIGIT = 2,      // digit
	HEX = 4,        // hex-digit
	SUB = 8,        // sub-delims
	UNRESERVED = 16,
	SCHEME = 32,    // scheme-char
};

struct ClassTable {
	uint8_t of[128] = {};
	constexpr ClassTable() {
		for (int c = 'a'; c <= 'z'; c++) of[c] |= ALPHA | UNRESERVED | SCHEME;
		for (int c = 'A'; c <= 'Z'; c++) of[c] |= ALPHA | UNRESERVED | SCHEME;
		for (int c = '0'; c <= '9'; c++) of[c] |= DIGIT | HEX | UNRESERVED | SCHEME;
		for (int c = 'a'; c <= 'f'; c++) of[c] |= HEX;
		for (int c = 'A'; c <= 'F'; c++) of[c] |= HEX;
		for (const char* p = "!$&'()*+,;="; *p; p++) of[int(*p)] |= SUB;
		for (const char* p = "-._~"; *p; p++) of[int(*p)] |= UNRESERVED;
		for (const char* p = "+-."; *p; p++) of[int(*p)] |= SCHEME;
	}
};
constexpr ClassTable CLASSES;

// Past the text's end every character reads as this, which no rule takes.
constexpr uint32_t END = 0xFFFFFFFFu;

struct Span {
	int32_t from = -1;
	int32_t to = -1;
	bool set() const { return from >= 0; }
};

struct Captures {
	Span scheme, user_info, host, port, path, query, fragment;
};

// One run of url-rules over a text of codepoints. Rule functions answer the
// position after what they matched, or -1.
class Grammar {
public:
	Grammar(const uint32_t* text, int32_t length) : t(text), n(length) {}

	bool url_rules(Captures& c) {
		int32_t i = scheme_part(c);
		if (i < 0) return false;
		i = hier_part(i, c);
		i = optional_tail('?', i, c.query);
		i = optional_tail('#', i, c.fragment);
		return i == n;
	}

private:
	const uint32_t* t;
	int32_t n;

	uint32_t at(int32_t i) const { return i < n ? t[i] : END; }
	bool is(int32_t i, uint8_t classes) const {
		uint32_t c = at(i);
		return c < 128 && (CLASSES.of[c] & classes);
	}
	bool is_char(int32_t i, const char* chars) const {
		uint32_t c = at(i);
		for (; *chars; chars++)
			if (c == uint32_t(*chars)) return true;
		return false;
	}
	// "%5x", the letter in either case: parse compares text without case.
	bool escape_of(int32_t i, char letter) const {
		return at(i) == '%' && at(i + 1) == '5' && (at(i + 2) | 0x20) == uint32_t(letter);
	}

	int32_t pct_encoded(int32_t i) const { return at(i) == '%' && is(i + 1, HEX) && is(i + 2, HEX) ? i + 3 : -1; }

	// unreserved | pct-encoded | sub-delims | one of `extra`
	int32_t step(int32_t i, const char* extra) const {
		if (is(i, UNRESERVED | SUB) || is_char(i, extra)) return i + 1;
		return pct_encoded(i);
	}
	int32_t any_of(int32_t i, const char* extra) const {
		for (int32_t j; (j = step(i, extra)) >= 0;) i = j;
		return i;
	}

	// pchar is step with ":@".
	int32_t segment(int32_t i) const { return any_of(i, ":@"); }
	int32_t segment_nz(int32_t i) const {
		int32_t j = segment(i);
		return j > i ? j : -1;
	}
	int32_t any_segments(int32_t i) const {
		while (at(i) == '/') i = segment(i + 1);
		return i;
	}

	int32_t scheme_part(Captures& c) const {
		if (!is(0, ALPHA)) return -1;
		int32_t i = 1;
		while (is(i, SCHEME)) i++;
		c.scheme = {0, i};
		return at(i) == ':' ? i + 1 : -1;
	}

	int32_t hier_part(int32_t i, Captures& c) const {
		if (at(i) == '/' && at(i + 1) == '/') {
			i = authority(i + 2, c);
			int32_t j = any_segments(i);
			c.path = {i, j};
			return j;
		}
		if (at(i) == '/') {
			int32_t j = i + 1;
			int32_t k = segment_nz(j);
			if (k >= 0) j = any_segments(k);
			c.path = {i, j};
			return j;
		}
		int32_t k = segment_nz(i);
		if (k < 0) return i;
		int32_t j = any_segments(k);
		c.path = {i, j};
		return j;
	}

	int32_t authority(int32_t i, Captures& c) const {
		int32_t j = any_of(i, ":");
		if (at(j) == '@') {
			c.user_info = {i, j};  // the "@" taken off
			i = j + 1;
		}
		j = ip_literal(i);
		if (j < 0) j = any_of(i, "");
		c.host = {i, j};
		i = j;
		if (at(i) == ':' && is(i + 1, DIGIT)) {
			j = i + 1;
			while (j - i <= 5 && is(j, DIGIT)) j++;
			c.port = {i + 1, j};
			i = j;
		}
		return i;
	}

	// ("[" | "%5B") thru ("]" | "%5D")
	int32_t ip_literal(int32_t i) const {
		int32_t k;
		if (at(i) == '[')
			k = i + 1;
		else if (escape_of(i, 'b'))
			k = i + 3;
		else
			return -1;
		for (; k < n; k++) {
			if (at(k) == ']') return k + 1;
			if (escape_of(k, 'd')) return k + 3;
		}
		return -1;
	}

	// query and fragment: the mark, then any [pchar | "/" | "?"].
	int32_t optional_tail(uint32_t mark, int32_t i, Span& span) const {
		if (at(i) != mark) return i;
		int32_t j = any_of(i + 1, ":@/?");
		span = {i + 1, j};
		return j;
	}
};

// The text the grammar reads, as codepoints: a url! as it molds, a string!
// from its position.
void load_text(Cell* url, std::vector<uint32_t>& out) {
	out.clear();
	if (cell::is(url, T_URL)) {
		url::mold_chars(url, [](void* sink, uint32_t c) {
			static_cast<std::vector<uint32_t>*>(sink)->push_back(c);
			return true;
		}, &out);
		return;
	}
	string::Text text = string::text_of(url);
	out.resize(text.length);
	for (uint32_t i = 0; i < text.length; i++) out[i] = text.unit(i);
}

// A span percent-decoded, as dehex gives it; none when not captured.
void decoded(const std::vector<uint32_t>& text, Span s, Cell* out) {
	if (!s.set()) {
		cell::make_none(out);
		return;
	}
	uint32_t n = uint32_t(s.to - s.from);
	string::make_at(out, n);
	url::decode_units(reinterpret_cast<const uint8_t*>(text.data() + s.from), 4, n, out);
}

const Cell* url_parts_prototype() {
	const Cell* system = context::global_value(words::sym_system);
	if (!system || !cell::is(system, T_OBJECT)) return nullptr;
	Node sys = system->data1;
	int32_t i = context::find_word(sys, symbol::make("standard"), true);
	if (i < 0 || !cell::is(context::values(sys) + i, T_OBJECT)) return nullptr;
	Node standard = context::values(sys)[i].data1;
	i = context::find_word(standard, symbol::make("url-parts"), true);
	if (i < 0 || !cell::is(context::values(standard) + i, T_OBJECT)) return nullptr;
	return context::values(standard) + i;
}

// A context holding the prototype's words and values, its word table sized
// for them: a copied table keeps the prototype's room, often many times
// what nine words need, and copying it would cost each URL more than the
// rest of its parsing.
Node fitted_copy(const Cell* proto) {
	Node from = proto->data1;
	uint32_t n = context::word_count(from);
	Node ctx = context::create(n, false, false, 0, context::KIND_OBJECT);
	for (uint32_t i = 0; i < n; i++) {
		Cell w = *context::word_cell(from, i);
		context::add_with_value(ctx, &w, context::values(from) + i);
	}
	return ctx;
}

void put(Node ctx, uint32_t symbol, const Cell* value) {
	Cell w;
	cell::set(&w, T_WORD, 0, symbol, 0xFFFFFFFFu);
	Cell v = *value;
	context::put(ctx, &w, &v);
}

// The object of parts, as the body's `make system/standard/url-parts`
// makes it.
void build(Cell* url, const std::vector<uint32_t>& text, const Captures& c, Cell* out) {
	Cell* base = stack::top;
	Cell* obj = stack::alloc_slot();
	if (const Cell* proto = url_parts_prototype()) {
		Cell p = *proto;
		cell::set(obj, T_OBJECT, fitted_copy(&p), p.data2, 0);
	} else {
		object::make_at(obj, 9);
		obj->data2 = uint32_t(object::new_class_id());
	}
	Node ctx = obj->data1;
	uint32_t fields = context::word_count(ctx);
	Cell v;
	std::string scheme(text.begin() + c.scheme.from, text.begin() + c.scheme.to);  // ASCII
	word::make_at(symbol::make(scheme), &v);
	put(ctx, words::sym_scheme, &v);
	decoded(text, c.user_info, &v);
	put(ctx, words::sym_user_info, &v);
	decoded(text, c.host, &v);
	put(ctx, words::sym_host, &v);
	if (c.port.set()) {
		int32_t port = 0;
		for (int32_t i = c.port.from; i < c.port.to; i++) port = port * 10 + int32_t(text[size_t(i)] - '0');
		cell::make_integer(&v, port);
	} else {
		cell::make_none(&v);
	}
	put(ctx, words::sym_port, &v);
	Cell dir, target;
	cell::make_none(&dir);
	cell::make_none(&target);
	if (c.path.set() && c.path.to > c.path.from) {
		decoded(text, c.path, &dir);
		split_path(&dir, &target);
	}
	put(ctx, words::sym_path, &dir);
	put(ctx, words::sym_target, &target);
	decoded(text, c.query, &v);
	put(ctx, words::sym_query, &v);
	decoded(text, c.fragment, &v);
	put(ctx, words::sym_fragment, &v);
	put(ctx, words::sym_ref, url);
	if (context::word_count(ctx) != fields) obj->data2 = uint32_t(object::new_class_id());
	object::finish(obj);
	*out = *obj;
	stack::top = base;
}

// The value the entries answer for a text that does not match: none, or
// with /throw-error an error! made from "URL error: " and the URL.
void failure(Cell* url, bool throw_error, Cell* out) {
	if (!throw_error) {
		cell::make_none(out);
		return;
	}
	Cell message, type;
	string::load_at(&message, "URL error: ");
	string::append_string(&message, url, -1);
	cell::set(&type, T_DATATYPE, T_ERROR);
	*out = *actions::get_for_type<action::MakeFn>(T_ERROR, &message, A_MAKE)(&type, &message, T_ERROR);
}

void answer(bool throw_error) {
	Cell url = stack::arguments[0];
	Cell* out = stack::alloc_slot();
	cell::make_none(out);
	parse(&url, out);
	if (cell::is(out, T_NONE)) failure(&url, throw_error, out);
	stack::set_result(out);
}

}  // namespace

// split-path of a path's text, made a file!: the path itself becomes the
// directory part (cut at the last part), or none for a path with no last
// part.
void split_path(Cell* path, Cell* target) {
	cell::set_type(path, T_FILE);
	string::Text t = string::text_of(path);
	uint32_t n = t.length;
	auto is = [&](const char* s) {
		uint32_t i = 0;
		for (; s[i]; i++)
			if (i >= n || t.unit(i) != uint32_t(s[i])) return false;
		return i == n;
	};
	bool slash_last = n > 0 && t.unit(n - 1) == '/';
	cell::make_none(target);
	if (is("/") || is(".") || is("..") || is("./") || is("../")) {
		if (!slash_last) string::append_char(path, '/');
		return;
	}
	// A final "/" belongs to the last part.
	uint32_t start = slash_last ? n - 1 : n;
	while (start > 0 && t.unit(start - 1) != '/') start--;
	Cell last = *path;
	last.data1 += start;
	string::copy_text(target, &last, -1, T_FILE);
	if (start == 0) {
		string::reset(path);
		string::append_literal(path, "./");
	} else {
		string::truncate(path, start);
	}
	string::Text l = string::text_of(target);
	bool dots = (l.length == 1 && l.unit(0) == '.') || (l.length == 2 && l.unit(0) == '.' && l.unit(1) == '.');
	if (dots) string::append_char(target, '/');
}

void parse(Cell* url, Cell* out) {
	// Reused between calls: the runtime has one thread.
	static std::vector<uint32_t> text;
	load_text(url, text);
	Captures c;
	Grammar grammar(text.data(), int32_t(text.size()));
	if (!grammar.url_rules(c)) {
		cell::make_none(out);
		return;
	}
	build(url, text, c, out);
}

void parse_url_entry() { answer(interpreter::truthy(stack::arguments + 1)); }

void decode_url_entry() { answer(false); }

}  // namespace vyn::url_parser
