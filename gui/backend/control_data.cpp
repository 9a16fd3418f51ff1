#include "gui/backend/control_data.h"

#include <algorithm>

#include "gui/backend/backend.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/spans.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/word.h"
#include "runtime/io/simple_io.h"
#include "runtime/symbol.h"
#include "runtime/words.h"

namespace vyn::control_data {

namespace {

bool is_type(const View& v, const char* name) { return v.type && symbol::same_name(v.type, symbol::make(name)); }

bool is_word(const Cell* c, const char* name) {
	return word::is_any_word(cell::type_of(c)) && symbol::same_name(c->data2, symbol::make(name));
}

bool takes(const Cell* c, Family family) {
	return family == TABS ? cell::is(c, T_STRING) : string::any_string(c);
}

std::string text_of(const Cell* c) {
	Cell copy = *c;
	return simple_io::utf8_text(&copy);
}

bool is_series_block(const Cell* c) { return c && (cell::is(c, T_BLOCK) || cell::is(c, T_HASH)); }

// The actions a deep change reports before the series changes.
bool before_change(uint32_t action) {
	static const char* const BEFORE[] = {"insert", "append", "clear", "remove", "take", "change", "poke", "put",
		"reverse", "move", "sort", "swap", "random", "trim"};
	for (const char* name : BEFORE)
		if (symbol::same_name(action, symbol::make(name))) return true;
	return false;
}

bool removal(uint32_t action) {
	for (const char* name : {"remove", "take", "clear"})
		if (symbol::same_name(action, symbol::make(name))) return true;
	return false;
}

}  // namespace

Family family_of(const View& v) {
	if (is_type(v, "text-list") || is_type(v, "drop-list") || is_type(v, "drop-down")) return LIST;
	if (is_type(v, "tab-panel")) return TABS;
	return OTHER;
}

std::vector<std::string> items_of(const Cell* data, Family family) {
	std::vector<std::string> out;
	if (data && cell::is(data, T_MAP)) {
		// A map's keys and values, in order.
		Cell body = *data;
		map::reflect(&body, words::sym_body);
		return items_of(&body, family);
	}
	if (!is_series_block(data)) return out;
	spans::Cells cells = spans::cells_of(data);
	for (uint32_t i = 0; i < cells.count; i++)
		if (takes(cells.head + i, family)) out.push_back(text_of(cells.head + i));
	return out;
}

int32_t selected_index(const View& v) {
	Cell* selected = views::facet(&v.face, views::SELECTED);
	if (!selected || !cell::is(selected, T_INTEGER)) return -1;
	int32_t n = cell::get_integer(selected);
	return n >= 1 && size_t(n) <= v.items.size() ? n - 1 : -1;
}

int32_t fill(View& v) {
	Family family = family_of(v);
	v.items = items_of(views::facet(&v.face, views::DATA), family);
	Cell* selected = views::facet(&v.face, views::SELECTED);
	if (!selected) return -1;
	if (family == TABS) {
		if (cell::is(selected, T_INTEGER)) {
			int32_t count = int32_t(v.items.size());
			int32_t n = std::max(1, std::min(cell::get_integer(selected), count));
			cell::make_integer(selected, n);
			return count ? n - 1 : -1;
		}
		cell::make_integer(selected, 1);
		return -1;
	}
	if (is_type(v, "text-list") && !cell::is(selected, T_INTEGER)) cell::make_integer(selected, -1);
	return selected_index(v);
}

bool data_changed(View& v, uint32_t action, int32_t index, int32_t part) {
	Family family = family_of(v);
	if (family == OTHER) return false;
	Cell* data = views::facet(&v.face, views::DATA);
	if (!before_change(action)) {
		std::vector<std::string> items = items_of(data, family);
		if (items == v.items) return false;
		v.items = std::move(items);
		return true;
	}
	if (!removal(action) || !is_series_block(data)) return false;
	if (symbol::same_name(action, symbol::make("clear")) && index == 0) {
		bool had = !v.items.empty();
		v.items.clear();
		return had;
	}
	// The values about to go are still in `data`: their items sit after the
	// items of the values before them.
	spans::Cells cells = spans::cells_of(data);
	uint32_t from = uint32_t(std::clamp<int32_t>(index, 0, int32_t(cells.count)));
	uint32_t to = uint32_t(std::clamp<int64_t>(int64_t(from) + std::max(part, 0), 0, cells.count));
	size_t at = 0, gone = 0;
	for (uint32_t i = 0; i < from; i++) at += takes(cells.head + i, family);
	for (uint32_t i = from; i < to; i++) gone += takes(cells.head + i, family);
	at = std::min(at, v.items.size());
	gone = std::min(gone, v.items.size() - at);
	v.items.erase(v.items.begin() + ptrdiff_t(at), v.items.begin() + ptrdiff_t(at + gone));
	return gone > 0;
}

std::vector<MenuItem> menu_of(const Cell* block) {
	std::vector<MenuItem> out;
	if (!block || !cell::is(block, T_BLOCK)) return out;
	spans::Cells cells = spans::cells_of(block);
	uint32_t i = 0;
	if (cells.count && is_word(cells.head, "popup")) i = 1;
	for (; i < cells.count; i++) {
		const Cell* c = cells.head + i;
		if (is_word(c, "---")) {
			MenuItem sep;
			sep.separator = true;
			out.push_back(sep);
			continue;
		}
		if (!cell::is(c, T_STRING)) continue;
		MenuItem item;
		item.caption = text_of(c);
		if (i + 1 < cells.count) {
			const Cell* next = c + 1;
			if (cell::is(next, T_BLOCK)) {
				item.submenu = true;
				item.items = menu_of(next);
				i++;
			} else if (cell::is(next, T_WORD) && !is_word(next, "---")) {
				item.symbol = next->data2;
				i++;
			}
		}
		out.push_back(std::move(item));
	}
	return out;
}

bool menu_bar(const View& v) {
	if (!is_type(v, "window")) return false;
	Cell* menu = views::facet(&v.face, views::MENU);
	if (!menu || !cell::is(menu, T_BLOCK)) return false;
	spans::Cells cells = spans::cells_of(menu);
	return cells.count > 0 && !is_word(cells.head, "popup");
}

Day clamp(int32_t year, int32_t month, int32_t day) { return {std::clamp(year, 1601, 9999), month, day}; }

Day valid(Day d) {
	static const int32_t DAYS[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
	d.month = std::clamp(d.month, 1, 12);
	int32_t last = DAYS[d.month - 1] + (d.month == 2 && date::leap_year(d.year) ? 1 : 0);
	d.day = std::clamp(d.day, 1, last);
	return d;
}

void read_calendar(View& v) {
	Day d{};
	backend::current().calendar_read(v, &d.year, &d.month, &d.day);
	d = valid(clamp(d.year, d.month, d.day));
	Cell value;
	date::make_at(&value, d.year, d.month, d.day, 0, 0, false);
	if (Cell* data = views::facet(&v.face, views::DATA)) *data = value;
}

void apply_calendar(View& v) {
	Cell* data = views::facet(&v.face, views::DATA);
	if (!data || !cell::is(data, T_DATE)) return read_calendar(v);
	uint32_t p = date::packed_of(data);
	Day d = valid(clamp(date::year_of(p), date::month_of(p), date::day_of(p)));
	backend::current().calendar_show(v, d.year, d.month, d.day);
}

}  // namespace vyn::control_data
