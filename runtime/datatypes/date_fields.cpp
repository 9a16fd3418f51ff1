// The fields of a date!: reading and setting them through paths and pick.
#include <cmath>

#include "runtime/datatypes/compound.h"
#include "runtime/datatypes/constants.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/time.h"
#include "runtime/datatypes/word.h"
#include "runtime/evaluator/stack.h"
#include "runtime/symbol.h"
#include "runtime/words.h"

namespace vyn::date {

namespace {

[[noreturn]] void refuse(const Cell* value) { errors::fire(errors::id::script_invalid_arg, value); }

int32_t integer_value(const Cell* value) {
	if (!cell::is(value, T_INTEGER)) refuse(value);
	return cell::get_integer(value);
}

// The local time of day, in [0, 24 h) for a normalised date.
double local_time(const Cell* d) { return time_of(d) + zone_seconds(packed_of(d)); }

// Week of the year with weeks starting on Sunday: week 1 holds the days
// before the first Sunday.
int32_t sunday_week(uint32_t p) {
	int64_t jan1 = day_number(year_of(p), 1, 1);
	int32_t s = int32_t(((jan1 + 3) % 7 + 7) % 7);  // Sunday = 0
	int32_t yearday = get_yearday(p);
	if (yearday <= 7 - s) return 1;
	return (yearday + s - 1) / 7 + 1;
}

int32_t iso_week(uint32_t p) {
	int64_t n = day_number_of(p);
	int32_t year = year_of(p);
	int64_t start = iso_week1_start(year);
	if (n < start) {
		// The days before week 1 belong to the last week of the previous year.
		int32_t jan1 = weekday_of(day_number(year, 1, 1));
		return jan1 == 5 || (jan1 == 6 && leap_year(year - 1)) ? 53 : 52;
	}
	if (n >= iso_week1_start(year + 1)) return 1;
	return int32_t((n - start) / 7) + 1;
}

// Keeps the date's zone and time flag; the day moves to n.
void move_to(Cell* d, int64_t n) {
	uint32_t p = packed_of(d);
	set_at(d, from_day_number(n, p), time_of(d));
}

// A new local time of day (or a new stored time when `utc`), normalised;
// the date gets the time flag.
void set_time(Cell* d, double t, bool utc) {
	uint32_t p = packed_of(d) | TIME_FLAG;
	if (!utc) t -= zone_seconds(p);
	rebuild(d, day_number_of(p), t, p);
}

// The zone of an integer! (hours) or time! value; invalid-arg otherwise,
// and for zones of 16 hours or more.
int32_t zone_value(const Cell* value) {
	int32_t q = 0;
	bool ok = cell::is(value, T_INTEGER) ? zone_from_hours(cell::get_integer(value), 0, q)
		: cell::is(value, T_TIME) ? zone_from_time(time::get(value), q)
								  : false;
	if (!ok) refuse(value);
	return q;
}

// Replaces the zone; `keep_instant` keeps the stored time (the local date
// and time follow), else the local time of day is kept.
void set_zone(Cell* d, const Cell* value, bool keep_instant) {
	int32_t q = zone_value(value);
	uint32_t p = packed_of(d);
	double local = has_time(p) ? local_time(d) : 0;
	double t = keep_instant ? time_of(d) : local - q * 900.0;
	uint32_t keep = (p & ~ZONE_BITS) | TIME_FLAG | zone_code(q);
	rebuild(d, day_number_of(p), t, keep);
}

// Replaces the hour, minute or second of the local time of day.
void set_clock_part(Cell* d, int32_t field, const Cell* value) {
	double v;
	if (cell::is(value, T_INTEGER))
		v = cell::get_integer(value);
	else if (field == F_SECOND && cell::is(value, T_FLOAT))
		v = float_::get(value);
	else
		refuse(value);
	double local = has_time(packed_of(d)) ? local_time(d) : 0;
	double hours = std::floor(local / 3600), minutes = std::floor(std::fmod(local, 3600) / 60);
	double seconds = std::fmod(local, 60);
	switch (field) {
	case F_HOUR: hours = v; break;
	case F_MINUTE: minutes = v; break;
	default: seconds = v; break;
	}
	set_time(d, hours * 3600 + minutes * 60 + seconds, false);
}

Cell* push_field(const Cell* date, int32_t field) {
	Cell* out = stack::alloc_slot();
	return get_field(date, field, out);
}

}  // namespace

int32_t field_of_word(const Cell* word) {
	static const uint32_t* const symbols[] = {&words::sym_date, &words::sym_year, &words::sym_month,
		&words::sym_day, &words::sym_zone, &words::sym_time, &words::sym_hour, &words::sym_minute,
		&words::sym_second, &words::sym_weekday, &words::sym_yearday, &words::sym_timezone, &words::sym_week,
		&words::sym_isoweek};
	uint32_t symbol = word->data2;
	for (int32_t i = 0; i < 14; i++)
		if (symbol::same_name(symbol, *symbols[i])) return i + 1;
	if (symbol::same_name(symbol, words::sym_julian)) return F_YEARDAY;
	return 0;
}

Cell* get_field(const Cell* date, int32_t field, Cell* out) {
	uint32_t p = packed_of(date);
	double local = has_time(p) ? local_time(date) : 0;
	switch (field) {
	case F_DATE: return set_at(out, p & ~(TIME_FLAG | ZONE_BITS), 0);
	case F_YEAR: cell::make_integer(out, year_of(p)); break;
	case F_MONTH: cell::make_integer(out, month_of(p)); break;
	case F_DAY: cell::make_integer(out, day_of(p)); break;
	case F_ZONE:
	case F_TIMEZONE:
		if (!has_time(p)) cell::make_none(out);
		else time::make_at(out, zone_seconds(p));
		break;
	case F_TIME:
		if (!has_time(p)) cell::make_none(out);
		else time::make_at(out, local);
		break;
	case F_HOUR: cell::make_integer(out, int32_t(std::floor(local / 3600))); break;
	case F_MINUTE: cell::make_integer(out, int32_t(std::floor(std::fmod(local, 3600) / 60))); break;
	case F_SECOND: float_::make_at(out, std::fmod(local, 60)); break;
	case F_WEEKDAY: cell::make_integer(out, weekday_of(day_number_of(p))); break;
	case F_YEARDAY: cell::make_integer(out, get_yearday(p)); break;
	case F_WEEK: cell::make_integer(out, sunday_week(p)); break;
	case F_ISOWEEK: cell::make_integer(out, iso_week(p)); break;
	}
	return out;
}

void set_field(Cell* d, int32_t field, const Cell* value) {
	uint32_t p = packed_of(d);
	switch (field) {
	case F_DATE: {
		if (!cell::is(value, T_DATE)) refuse(value);
		uint32_t v = packed_of(value);
		// A date without time has no zone either.
		if (!has_time(v)) return (void)set_at(d, pack(year_of(v), month_of(v), day_of(v), 0), 0);
		uint32_t keep = has_time(p) ? p : TIME_FLAG;
		set_at(d, pack(year_of(v), month_of(v), day_of(v), keep), has_time(p) ? time_of(d) : 0);
		return;
	}
	case F_YEAR: return move_to(d, day_number(integer_value(value), month_of(p), day_of(p)));
	case F_MONTH: return move_to(d, day_number(year_of(p), integer_value(value), day_of(p)));
	case F_DAY: return move_to(d, day_number(year_of(p), month_of(p), 0) + integer_value(value));
	case F_ZONE: return set_zone(d, value, false);
	case F_TIMEZONE: return set_zone(d, value, true);
	case F_TIME:
		if (cell::is(value, T_NONE)) return (void)set_at(d, p & ~(TIME_FLAG | ZONE_BITS), 0);
		if (!cell::is(value, T_TIME)) refuse(value);
		return set_time(d, time::get(value), false);
	case F_HOUR: case F_MINUTE: case F_SECOND: return set_clock_part(d, field, value);
	case F_WEEKDAY: return set_weekday(d, integer_value(value));
	case F_YEARDAY: return set_yearday(d, integer_value(value));
	case F_WEEK: {
		int32_t w = integer_value(value);
		int64_t jan1 = day_number(year_of(p), 1, 1);
		int64_t s = ((jan1 + 3) % 7 + 7) % 7;
		return move_to(d, w <= 1 ? jan1 : jan1 + 7 * (int64_t(w) - 2) + 7 - s);
	}
	case F_ISOWEEK: return set_week(d, integer_value(value));
	}
}

void set_week(Cell* d, int32_t week) { move_to(d, iso_week1_start(year_of(packed_of(d))) + 7 * (int64_t(week) - 1)); }

void set_weekday(Cell* d, int32_t weekday) {
	int64_t n = day_number_of(packed_of(d));
	move_to(d, n - (weekday_of(n) - 1) + int64_t(weekday) - 1);
}

void set_yearday(Cell* d, int32_t yearday) {
	move_to(d, day_number(year_of(packed_of(d)), 1, 1) + int64_t(yearday) - 1);
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* gparent, Cell* previous, int32_t index,
	bool, bool, bool, bool notify) {
	int32_t field = word::is_any_word(cell::type_of(element)) ? field_of_word(element)
		: cell::is(element, T_INTEGER) ? cell::get_integer(element) : 0;
	if (field < F_DATE || field > F_ISOWEEK)
		errors::fire(errors::id::script_invalid_path, path ? path : &constants::none_cell, element);
	if (!value) return push_field(parent, field);
	Cell old = *parent;
	set_field(parent, field, value);
	compound::notify_set(gparent, previous, old, parent, index, notify);
	return value;
}

Cell* pick(Cell* date, int32_t, const Cell* boxed) {
	int32_t field = word::is_any_word(cell::type_of(boxed)) ? field_of_word(boxed)
		: cell::is(boxed, T_INTEGER) ? cell::get_integer(boxed) : 0;
	if (field < F_DATE || field > F_ISOWEEK) errors::fire(errors::id::script_out_of_range, boxed);
	return push_field(date, field);
}

}  // namespace vyn::date
