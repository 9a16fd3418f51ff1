#include "runtime/io/csv.h"

#include <vector>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/string.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/stack.h"
#include "runtime/unicode.h"

namespace vyn::csv {

namespace {

const Cell NONE_CELL{T_NONE, 0, 0, 0};

inline Cell* args() { return stack::arguments; }

// The delimiter as code points: a char! or the characters of a string!.
std::vector<uint32_t> code_points(Cell* value) {
	std::vector<uint32_t> out;
	if (cell::is(value, T_CHAR)) {
		out.push_back(value->data2);
	} else {
		string::Text t = string::text_of(value);
		for (uint32_t i = 0; i < t.length; i++) out.push_back(t.unit(i));
	}
	return out;
}

// Reads lines of fields: a field is quoted (doubled quotes stand for one;
// it may hold delimiters and line ends) or plain (up to a delimiter
// character or a line end). A quote that is never closed starts a plain
// field. Blank lines at the end are no rows.
struct Splitter {
	string::Text t;
	std::vector<uint32_t> delimiter;
	uint32_t quote;
	uint32_t pos = 0;
	std::vector<uint32_t> chars;

	uint32_t at(uint32_t i) const { return t.unit(i); }

	bool delimiter_char(uint32_t c) const {
		for (uint32_t d : delimiter)
			if (d == c) return true;
		return false;
	}
	bool at_delimiter() const {
		if (delimiter.empty() || pos + delimiter.size() > t.length) return false;
		for (uint32_t k = 0; k < delimiter.size(); k++)
			if (at(pos + k) != delimiter[k]) return false;
		return true;
	}
	// Length of the line end at i (CR LF, LF or CR), 0 when none.
	uint32_t line_end(uint32_t i) const {
		if (i >= t.length) return 0;
		uint32_t c = at(i);
		if (c == '\r') return i + 1 < t.length && at(i + 1) == '\n' ? 2 : 1;
		return c == '\n' ? 1 : 0;
	}
	bool only_line_ends_left() const {
		uint32_t i = pos;
		while (uint32_t n = line_end(i)) i += n;
		return i >= t.length;
	}

	void make_field(Cell* out, uint32_t from, uint32_t to) {
		uint32_t widest = 0;
		for (uint32_t i = from; i < to; i++) widest = std::max(widest, at(i));
		string::make_at_unit(out, to - from, unicode::width_for(widest));
		string::append_units(out, t.at + size_t(from) * t.width, t.width, to - from);
	}

	bool quoted(Cell* out) {
		uint32_t i = pos + 1;
		chars.clear();
		uint32_t widest = 0;
		for (;;) {
			if (i >= t.length) return false;
			uint32_t c = at(i);
			if (c == quote) {
				if (i + 1 < t.length && at(i + 1) == quote) {
					i += 2;
				} else {
					break;
				}
			} else {
				i++;
			}
			chars.push_back(c);
			widest = std::max(widest, c);
		}
		string::make_at_unit(out, uint32_t(chars.size()), unicode::width_for(widest));
		Series* s = memory::buffer_of(out);
		for (uint32_t k = 0; k < chars.size(); k++) s = string::poke_char(s, k, chars[k]);
		s->tail = s->head + uint32_t(chars.size()) * s->unit();
		pos = i + 1;
		return true;
	}

	void field(Cell* out) {
		if (pos < t.length && at(pos) == quote && quoted(out)) return;
		uint32_t from = pos;
		while (pos < t.length) {
			uint32_t c = at(pos);
			if (c == '\n' || c == '\r' || delimiter_char(c)) break;
			pos++;
		}
		make_field(out, from, pos);
	}

	// One line into `row`; false (pos back at the line's start) when text
	// follows its last field that is no delimiter or line end.
	bool line(Cell* row) {
		uint32_t start = pos;
		block::make_at(row, 8);
		for (;;) {
			Cell f;
			field(&f);
			block::append_value(row, &f);
			if (!at_delimiter()) break;
			pos += uint32_t(delimiter.size());
		}
		if (uint32_t n = line_end(pos)) {
			pos += n;
			return true;
		}
		if (pos >= t.length) return true;
		pos = start;
		return false;
	}
};

// The field's text, quoted when it holds a quotable character or a quote
// (whose quotes are doubled).
void append_escaped(Cell* out, Cell* value, uint32_t quote, const Cell* quotable, Cell* scratch) {
	Cell text = *value;
	if (!cell::is(value, T_STRING)) {
		string::make_at(scratch, 16);
		actions::form(value, scratch, nullptr, 0x7FFFFFFF);
		text = *scratch;
	}
	string::Text t = string::text_of(&text);
	bool quoted = false;
	for (uint32_t i = 0; i < t.length && !quoted; i++) {
		uint32_t c = t.unit(i);
		quoted = c == quote || string::bitset_has(quotable, c);
	}
	if (!quoted) return string::append_units(out, t.at, t.width, t.length);
	string::append_char(out, quote);
	uint32_t run = 0;
	for (uint32_t i = 0; i < t.length; i++) {
		if (t.unit(i) != quote) continue;
		string::append_units(out, t.at + size_t(run) * t.width, t.width, i + 1 - run);
		string::append_char(out, quote);
		run = i + 1;
		t = string::text_of(&text);
	}
	string::append_units(out, t.at + size_t(run) * t.width, t.width, t.length - run);
	string::append_char(out, quote);
}

}  // namespace

// csv-split text delimiter quote: [rows stop], stop the index where reading
// stopped on text no rule takes, or none when all of it was read.
void split_routine() {
	Cell text = args()[0];
	Splitter s;
	s.t = string::text_of(&text);
	s.delimiter = code_points(&args()[1]);
	s.quote = args()[2].data2;
	Cell* result = stack::alloc_slot();
	block::make_at(result, 2);
	Cell* rows = stack::alloc_slot();
	block::make_at(rows, int32_t(s.t.length / 80 + 1));
	bool stopped = false;
	while (!s.only_line_ends_left()) {
		Cell row;
		if (!s.line(&row)) {
			stopped = true;
			break;
		}
		block::append_value(rows, &row);
	}
	block::append_value(result, rows);
	Cell stop = NONE_CELL;
	if (stopped) cell::make_integer(&stop, int32_t(text.data1 + s.pos + 1));
	block::append_value(result, &stop);
	stack::set_result(result);
}

// csv-append-line out data delimiter quote quotable: appends the record's
// fields, escaped and delimited, and a line feed.
void append_line_routine() {
	Cell out = args()[0];
	Cell data = args()[1];
	Cell delimiter = args()[2];
	uint32_t quote = args()[3].data2;
	Cell quotable = args()[4];
	Cell* scratch = stack::alloc_slot();
	uint32_t n = block::length(&data);
	for (uint32_t i = 0; i < n; i++) {
		if (i) {
			if (cell::is(&delimiter, T_CHAR))
				string::append_char(&out, delimiter.data2);
			else
				string::append_string(&out, &delimiter, -1);
		}
		Cell v = block::vs_head(&data)[i];
		append_escaped(&out, &v, quote, &quotable, scratch);
	}
	string::append_char(&out, '\n');
	stack::set_result(&out);
}

}  // namespace vyn::csv
