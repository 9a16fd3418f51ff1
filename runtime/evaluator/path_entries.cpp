#include "runtime/evaluator/path_entries.h"

#include <utility>
#include <vector>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/url_parser.h"
#include "runtime/evaluator/library_entries.h"
#include "runtime/evaluator/stack.h"

namespace vyn::path_entries {

namespace {

inline Cell* args() { return stack::arguments; }

// A used refinement's cell is true; an unused one false.
inline bool on(const Cell* c) { return cell::is(c, T_LOGIC) && c->data1 != 0; }

// ---------------------------------------------------------------- clean-path

// Arguments: file /only /dir. The entry takes an absolute file! without
// /only: nothing to prepend, runs of "/" collapse, ".." stops at the root.
bool clean_path_takes() {
	Cell* a = args();
	if (!cell::is(a, T_FILE) || on(a + 1)) return false;
	string::Text t = string::text_of(a);
	return t.length > 0 && t.unit(0) == '/';
}

void clean_path() {
	Cell file = args()[0];
	bool dir = on(args() + 2);
	string::Text t = string::text_of(&file);
	uint32_t n = t.length;
	// The kept segments, as [from, to) unit spans after the leading "/".
	static std::vector<std::pair<uint32_t, uint32_t>> kept;
	kept.clear();
	bool trail = dir;
	for (uint32_t i = 1; i <= n;) {
		uint32_t j = i;
		while (j < n && t.unit(j) != '/') j++;
		uint32_t len = j - i;
		bool last = j >= n;
		bool dot = len == 1 && t.unit(i) == '.';
		bool dots = len == 2 && t.unit(i) == '.' && t.unit(i + 1) == '.';
		if (dots && !kept.empty()) kept.pop_back();
		if (len == 0 || dot || dots) trail |= last;
		else kept.emplace_back(i, j);
		i = j + 1;
	}
	Cell* out = stack::alloc_slot();
	string::make_at_unit(out, n + 1, t.width);
	t = string::text_of(&file);
	string::append_char(out, '/');
	for (size_t k = 0; k < kept.size(); k++) {
		if (k) string::append_char(out, '/');
		for (uint32_t i = kept[k].first; i < kept[k].second; i++) string::append_char(out, t.unit(i));
	}
	if (trail && !kept.empty()) string::append_char(out, '/');
	cell::set_type(out, T_FILE);
	stack::set_result(out);
}

// ---------------------------------------------------------------- split-path

bool split_path_takes() { return cell::is(args(), T_FILE); }

void split_path() {
	Cell file = args()[0];
	Cell* dir = stack::alloc_slot();
	string::copy_text(dir, &file, -1, T_FILE);
	Cell* last = stack::alloc_slot();
	url_parser::split_path(dir, last);
	Cell* out = stack::alloc_slot();
	block::make_at(out, 2);
	block::append_value(out, dir);
	block::append_value(out, last);
	stack::set_result(out);
}

}  // namespace

void install() {
	library_entries::give("clean-path", clean_path, clean_path_takes);
	library_entries::give("split-path", split_path, split_path_takes);
}

}  // namespace vyn::path_entries
