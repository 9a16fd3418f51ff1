#include "runtime/datatypes/file.h"

#include "runtime/datatypes/string.h"
#include "runtime/datatypes/url.h"
#include "runtime/evaluator/stack.h"
#include "runtime/platform.h"
#include "runtime/utf8.h"

namespace vyn::file {

SimpleIo io{};

Cell* load(Cell* out, const uint8_t* bytes, uint32_t size, int32_t encoding) {
	string::load_at(out, bytes, size, encoding);
	cell::set_type(out, T_FILE);
	return out;
}

Cell* push(const Cell* value) { return stack::push(value); }

void get_current_dir(Cell* out) {
	std::string dir = platform::get_current_dir();
	string::append_utf8(out, reinterpret_cast<const uint8_t*>(dir.data()), uint32_t(dir.size()));
	if (dir.empty() || dir.back() != '/') string::append_char(out, '/');
}

void path_to_local(Cell* file, Cell* out, bool absolute) {
	Cell v = *file;
	bool rooted = string::vs_length(&v) > 0 && string::abs_char_at(&v, v.data1) == '/';
	if (absolute && !rooted) get_current_dir(out);
	string::append_string(out, &v, -1);
}

const char* to_os_path(Cell* file) {
	int32_t count = -1;
	return reinterpret_cast<const char*>(unicode::to_utf8(file, &count));
}

namespace {

[[noreturn]] void not_done() { errors::fire(errors::id::internal_not_done); }

// Characters that the bare form cannot hold: below 127 and outside the URL
// set, the parens, which end a bare file, and surrogates, which only an
// escape can write.
bool needs_quotes(Cell* file, uint32_t n) {
	string::Text t = string::text_of(file);
	for (uint32_t i = 0; i < n; i++) {
		uint32_t c = t.unit(i);
		if (c < 127 ? !url::in_url_set(c) || c == '(' || c == ')' : unicode::is_surrogate(c)) return true;
	}
	return false;
}

// %"..." reads carets as escapes but ends at the first double quote: a
// caret or a control character is written with its caret escape, a double
// quote as "^(22)", so that the path loads back as it was.
int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* arg, int32_t part, int32_t) {
	Cell v = *value;
	uint32_t n = string::vs_length(&v);
	if (arg && uint32_t(part < 0 ? 0 : part) < n) n = uint32_t(part < 0 ? 0 : part);
	string::append_char(buffer, '%');
	if (string::vs_length(&v) == 0) {
		string::append_literal(buffer, "\"\"");
		return part - 3;
	}
	if (!needs_quotes(&v, n)) {
		string::append_range(buffer, v.data2, v.data1, n);
		return part - int32_t(n) - 1;
	}
	uint32_t written = 2;
	string::append_char(buffer, '"');
	for (uint32_t i = 0; i < n; i++) {
		uint32_t c = string::abs_char_at(&v, v.data1 + i);
		if (c == '"') {
			string::append_literal(buffer, "^(22)");
			written += 5;
			continue;
		}
		bool escape = c < 32 || c == '^' || c == 127 || unicode::is_surrogate(c);
		written += escape ? string::append_escaped_char(buffer, c, true, false) : (string::append_char(buffer, c), 1);
	}
	string::append_char(buffer, '"');
	return part - int32_t(written) - 1;
}

Cell* read(Cell* source, const Cell* part, const Cell* seek, bool binary, bool lines, bool, const Cell* as) {
	if (as || !io.read) not_done();
	Cell* base = stack::top;
	Cell* kept = stack::push(source);
	Cell* out = stack::alloc_slot();
	cell::make_none(out);
	io.read(kept, part, seek, binary, lines, out);
	*source = *out;
	stack::top = base;
	return source;
}

Cell* write(Cell* destination, Cell* data, bool binary, bool lines, bool, bool append, const Cell* part,
	const Cell* seek, const Cell* allow, const Cell* as) {
	if (allow || as || !io.write) not_done();
	io.write(destination, data, part, seek, binary, append, lines);
	cell::make_unset(destination);
	return destination;
}

Cell* delete_file(Cell* file) {
	if (!io.delete_) not_done();
	cell::make_logic(file, io.delete_(file));
	return file;
}

Cell* rename(Cell* from, Cell* to) {
	if (!io.rename) not_done();
	cell::make_logic(from, io.rename(from, to));
	return from;
}

Cell* query(Cell* file) {
	if (!io.query) not_done();
	Cell out;
	cell::make_none(&out);
	io.query(file, &out);
	*file = out;
	return file;
}

}  // namespace

void init_type() {
	using registry::slot_bit;
	constexpr uint64_t own = slot_bit(A_MOLD) | slot_bit(A_DELETE) | slot_bit(A_QUERY) | slot_bit(A_READ) |
		slot_bit(A_RENAME) | slot_bit(A_WRITE) | slot_bit(A_OPEN);
	ActionRow row{};
	row.mold = mold;
	row.delete_ = delete_file;
	row.query = query;
	row.read = read;
	row.rename = rename;
	row.write = write;
	registry::register_type(T_FILE, T_URL, "file!", row, registry::INHERIT_ALL & ~own);
}

}  // namespace vyn::file
