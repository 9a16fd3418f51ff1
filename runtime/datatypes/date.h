// date!: a calendar date with an optional time of day and time zone,
// written 5-Jan-2024 or 5-Jan-2024/10:30:00+02:00.
//
// Cell: word 1 the packed date; words 2-3 the time in seconds (binary64,
// low half in word 2).
//
// Packed date: bits 17-31 the year (signed), bit 16 the time flag (the date
// has a time and a zone), bits 12-15 the month (1-12), bits 7-11 the day
// (1-31), bit 6 the zone sign (west of UTC), bits 2-5 the zone hours and
// bits 0-1 the zone quarter hours. Together bits 0-5 count the zone's
// quarter hours.
//
// Invariants:
//  - Year, month and day are the LOCAL calendar date; the stored time is UTC
//    counted from that local midnight, so local time = time + zone offset,
//    and normalisation keeps the local time within [0, 24 h) (the stored
//    time may be negative or pass 24 h).
//  - Without the time flag the time is 0 and the zone bits are 0.
//  - Day numbers count days from 1 March of year 0 on the proleptic
//    Gregorian calendar (floor division, so years before 0 are exact too).
//  - Years stay within the packed field (-16384 to 16383); an operation
//    that would leave it raises type-limit naming date!.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/registry.h"

namespace vyn::date {

constexpr uint32_t TIME_FLAG = 1u << 16;
constexpr uint32_t ZONE_BITS = 0x7Fu;
constexpr uint32_t ZONE_WEST = 0x40u;
constexpr double DAY_SECONDS = 86400.0;
constexpr int32_t MIN_YEAR = -16384;
constexpr int32_t MAX_YEAR = 16383;
// The largest zone: 15 hours and 3 quarters, either side of UTC.
constexpr int32_t MAX_ZONE_QUARTERS = 63;

inline uint32_t packed_of(const Cell* d) { return d->data1; }
inline double time_of(const Cell* d) { return cell::get_double(d); }
inline int32_t year_of(uint32_t p) { return int32_t(p) >> 17; }
inline int32_t month_of(uint32_t p) { return int32_t((p >> 12) & 15); }
inline int32_t day_of(uint32_t p) { return int32_t((p >> 7) & 31); }
inline bool has_time(uint32_t p) { return (p & TIME_FLAG) != 0; }
// The zone as signed quarter hours east of UTC.
inline int32_t zone_quarters(uint32_t p) {
	int32_t q = int32_t(p & 0x3F);
	return (p & ZONE_WEST) ? -q : q;
}
inline int32_t zone_seconds(uint32_t p) { return zone_quarters(p) * 900; }
// Zone bits of signed quarters (|quarters| <= MAX_ZONE_QUARTERS).
inline uint32_t zone_code(int32_t quarters) {
	return quarters < 0 ? ZONE_WEST | uint32_t(-quarters) : uint32_t(quarters);
}
// Signed zone quarters of zone hours and minutes (west when the hours, or
// with 0 hours the minutes, are negative), or of a time! offset. False for
// a zone of 16 hours or more, which the packed field cannot hold.
bool zone_from_hours(int64_t hours, int64_t minutes, int32_t& quarters);
bool zone_from_time(double seconds, int32_t& quarters);
uint32_t pack(int32_t year, int32_t month, int32_t day, uint32_t keep);

// Calendar arithmetic. day_number takes any month and day: they roll over
// (day 0 is the last day of the previous month, month 13 January next year).
int64_t day_number(int64_t year, int64_t month, int64_t day);
// The packed date of a day number with the zone bits and time flag of
// `keep`; type-limit when the year leaves the packed field.
uint32_t from_day_number(int64_t n, uint32_t keep);
inline int64_t day_number_of(uint32_t p) { return day_number(year_of(p), month_of(p), day_of(p)); }
bool leap_year(int32_t year);
// 1 = Monday ... 7 = Sunday.
int32_t weekday_of(int64_t n);
int32_t get_yearday(uint32_t p);
// Day number of the Monday that starts ISO week 1 of the year.
int64_t iso_week1_start(int32_t year);

// Moves whole days out of `time` so that time + zone falls within one day.
// type-limit when the time is not finite or the result leaves the year range.
void normalize_time(int64_t& n, double& time, int32_t zone_seconds);

// Cells. make_at converts the local time to UTC by the zone (quarters) but
// does not normalise it; without `with_time` the time and zone are dropped.
Cell* make_at(Cell* out, int32_t year, int32_t month, int32_t day, double local_time, int32_t quarters,
	bool with_time);
// A date with time and zone 0 (file times).
Cell* make_at_hms(Cell* out, int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute, int32_t second,
	int32_t nanosecond);
inline Cell* set_at(Cell* out, uint32_t packed, double time) {
	cell::set(out, T_DATE, packed);
	cell::put_double(out, time);
	return out;
}
// The date of day number n and stored time t, normalised against the zone
// bits of `keep`, which also gives the time flag.
Cell* rebuild(Cell* out, int64_t n, double t, uint32_t keep);
Cell* push(uint32_t packed, double time);
Cell* make_in(const Cell* block, uint32_t packed, double time);

// Seconds since 1970-01-01 00:00 UTC (the time rounded half up).
double to_epoch(const Cell* date);
// The date of epoch seconds, with the time flag and zone 0.
Cell* from_epoch(Cell* out, double seconds);
// Rewrites the first cell as the time! between the two instants.
void difference(Cell* date1, const Cell* date2);

// Fields 1-14 (date, year, month, day, zone, time, hour, minute, second,
// weekday, yearday, timezone, week, isoweek).
enum Field : int32_t {
	F_DATE = 1, F_YEAR, F_MONTH, F_DAY, F_ZONE, F_TIME, F_HOUR, F_MINUTE, F_SECOND, F_WEEKDAY, F_YEARDAY,
	F_TIMEZONE, F_WEEK, F_ISOWEEK,
};
// The field a word names (julian is yearday), 0 for any other word.
int32_t field_of_word(const Cell* word);
// Writes field n of the date into `out` (which may be the date itself).
Cell* get_field(const Cell* date, int32_t field, Cell* out);
// Sets field n to the value; invalid-arg for a value the field refuses.
void set_field(Cell* date, int32_t field, const Cell* value);
// Moves the date to ISO week n of its year, to weekday n of its week, or to
// day n of its year; zone, time flag and time kept.
void set_week(Cell* date, int32_t week);
void set_weekday(Cell* date, int32_t weekday);
void set_yearday(Cell* date, int32_t yearday);

// The path and pick entries of the action row.
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* gparent, Cell* previous, int32_t index,
	bool case_sensitive, bool get, bool last, bool notify);
Cell* pick(Cell* date, int32_t index, const Cell* boxed);

// The arithmetic worker: (add or subtract) on the frame's two argument
// slots, the first a date!; the result replaces the first and is answered.
Cell* do_math(MathOp op);

// A date literal: the forms of the lexer (day-month-year and year-month-day
// with "-" or "/", month names, the compact ISO form, ISO week dates and
// ordinal dates, each with an optional time and zone). False for text that
// is not a valid date.
bool scan(const uint8_t* start, const uint8_t* end, Cell* out);

// The month names mold writes (their first 3 characters): the locale's
// block, once the system object installs a getter; null uses English.
extern const Cell* (*locale_months)();

void init_type();

}  // namespace vyn::date
