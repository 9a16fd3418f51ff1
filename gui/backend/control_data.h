// What list, tab, calendar and menu controls show, worked out from the
// face alone: the same on every backend. A backend mirrors the result into
// its native control; without a display the view record is the control.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gui/backend/views.h"

namespace vyn::control_data {

using backend::View;

enum Family { OTHER, LIST, TABS };

// text-list, drop-list and drop-down are lists; tab-panel has tabs.
Family family_of(const View& v);

// The items a list (any string-family value) or a tab panel (strings) makes
// of a `data` value; other values are skipped.
std::vector<std::string> items_of(const Cell* data, Family family);

// Fills v.items from `data` and settles `selected`: a tab panel's is
// clamped to 1..tabs (none or another type becomes 1); a text list's
// non-integer becomes -1. Answers the 0-based item to show selected, or -1.
int32_t fill(View& v);

// The 0-based item `selected` names now (-1: none, or out of range).
int32_t selected_index(const View& v);

// A deep change of `data` (action, 0-based index and count of the changed
// values): removals reported before the change delete their items; every
// change reported after it refills from `data`; the rest changes nothing.
// True when v.items changed.
bool data_changed(View& v, uint32_t action, int32_t index, int32_t part);

// One item of a menu block.
struct MenuItem {
	std::string caption;      // '&' marks the shortcut letter
	uint32_t symbol = 0;      // the chosen item's word; 0 without one
	bool separator = false;
	bool submenu = false;
	std::vector<MenuItem> items;  // the submenu's
};

// The items of a menu block (nested blocks are submenus); a leading
// `popup` word is skipped.
std::vector<MenuItem> menu_of(const Cell* block);
// A window's non-empty menu block that does not start with `popup`.
bool menu_bar(const View& v);

// A calendar date with its year clamped to 1601..9999.
struct Day {
	int32_t year, month, day;
};
Day clamp(int32_t year, int32_t month, int32_t day);
// The day clamped to the month's length (a day 31 in February reads as 29
// or 28).
Day valid(Day d);
// A calendar's `data` into its control: a date! is shown (year clamped);
// anything else takes the control's day, read back.
void apply_calendar(View& v);
// The control's day (the day clamped to its month) into `data`.
void read_calendar(View& v);

}  // namespace vyn::control_data
