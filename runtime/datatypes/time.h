// time!: a duration or time of day, as seconds in a double.
//
// Cell: words 2-3 the seconds (binary64, low half in word 2); negative
// values allowed. Nothing is normalised: hours, minutes and seconds are
// derived from the seconds when read. Arithmetic is the float worker's,
// which keeps the time! type for mixed operands.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace vyn::time {

constexpr double SECONDS_PER_HOUR = 3600.0;
constexpr double SECONDS_PER_MINUTE = 60.0;
// Seconds below this print as "00"; even? and odd? nudge by it.
constexpr double TOLERANCE = 1e-06;

enum Field : int32_t { HOUR = 1, MINUTE, SECOND };

inline double get(const Cell* value) { return cell::get_double(value); }
// Replaces the whole header.
inline Cell* make_at(Cell* out, double seconds) {
	cell::set(out, T_TIME);
	cell::put_double(out, seconds);
	return out;
}
Cell* push(double seconds);
Cell* make_in(const Cell* block, double seconds);

// Whole hours toward zero (type-limit beyond the 32-bit range), and the
// minutes 0 to 59 of the magnitude.
int32_t hours_of(double t);
int32_t minutes_of(double t);
// 1, 2 or 3 for the words hour, minute and second (any letter case); any
// other word raises cannot-use when the value is a time!, else answers -1.
int32_t field_index(const Cell* word, const Cell* value);
// Pushes a field: hour and minute as integer!, second as float!.
Cell* push_field(const Cell* time, Field field);
// Appends h:mm:ss[.fraction]; answers the part limit less what was written.
int32_t form_hms(double t, Cell* buffer, int32_t part);

void init_type();

}  // namespace vyn::time
