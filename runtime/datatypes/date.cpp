#include "runtime/datatypes/date.h"

#include <cmath>

#include "runtime/datatypes/compound.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/extended_math.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/spans.h"
#include "runtime/datatypes/time.h"
#include "runtime/evaluator/natives.h"
#include "runtime/evaluator/stack.h"
#include "runtime/io/random.h"
#include "runtime/memory.h"

namespace vyn::date {

const Cell* (*locale_months)() = nullptr;

namespace {

// Day number of 1-Jan-1970.
constexpr int64_t EPOCH_DAY = 719468;
constexpr int64_t DAYS_PER_ERA = 146097;  // 400 years
// Stored times beyond this are no date's (about 27,000 years of seconds).
constexpr double TIME_LIMIT = 1e12;

int64_t floor_div(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
int64_t floor_mod(int64_t a, int64_t b) { return a - floor_div(a, b) * b; }

[[noreturn]] void out_of_range() { datatype::fire_type(errors::id::script_type_limit, T_DATE); }

// ---- make and to ----

[[noreturn]] void bad_spec(const Cell* spec) { datatype::fire_type(errors::id::script_bad_to_arg, T_DATE, spec); }

struct BlockSpec {
	int64_t a = 0, b = 0, c = 0;
	int64_t hour = 0, minute = 0;
	double seconds = 0;    // h m s, or the time! value
	bool time_value = false;  // the time came as a time!
	int32_t quarters = 0;
	int32_t count = 0;
};

// The states of the block reader: what the next value may be.
enum State { S_A, S_B, S_C, S_HOUR_OR_TIME, S_MINUTE, S_SECOND, S_ZONE_AFTER_S, S_ZONE_MINUTE, S_ZONE_AFTER_T, S_DONE };

BlockSpec read_block(const Cell* spec) {
	BlockSpec r;
	spans::Cells cells = spans::cells_of(spec);
	State st = S_A;
	int64_t zone_hours = 0;
	for (uint32_t i = 0; i < cells.count; i++) {
		const Cell* v = cells.head + i;
		Type t = cell::type_of(v);
		bool is_int = t == T_INTEGER;
		int64_t n = is_int ? cell::get_integer(v) : 0;
		switch (st) {
		case S_A: if (!is_int) bad_spec(spec); r.a = n; st = S_B; break;
		case S_B: if (!is_int) bad_spec(spec); r.b = n; st = S_C; break;
		case S_C: if (!is_int) bad_spec(spec); r.c = n; st = S_HOUR_OR_TIME; break;
		case S_HOUR_OR_TIME:
			if (is_int) {
				r.hour = n;
				st = S_MINUTE;
			} else if (t == T_TIME) {
				r.seconds = time::get(v);
				r.time_value = true;
				st = S_ZONE_AFTER_T;
			} else {
				bad_spec(spec);
			}
			break;
		case S_MINUTE: if (!is_int) bad_spec(spec); r.minute = n; st = S_SECOND; break;
		case S_SECOND:
			if (is_int)
				r.seconds = double(n);
			else if (t == T_FLOAT)
				r.seconds = float_::get(v);
			else
				bad_spec(spec);
			st = S_ZONE_AFTER_S;
			break;
		case S_ZONE_AFTER_S:
		case S_ZONE_AFTER_T:
			if (is_int) {
				zone_hours = n;
				if (!zone_from_hours(n, 0, r.quarters)) bad_spec(spec);
				st = S_ZONE_MINUTE;
			} else if (t == T_TIME) {
				if (!zone_from_time(time::get(v), r.quarters)) bad_spec(spec);
				st = S_DONE;
			} else {
				bad_spec(spec);
			}
			break;
		case S_ZONE_MINUTE:
			if (!is_int || !zone_from_hours(zone_hours, n, r.quarters)) bad_spec(spec);
			st = S_DONE;
			break;
		case S_DONE: bad_spec(spec);
		}
		r.count++;
	}
	if (r.count < 3) bad_spec(spec);
	return r;
}

// `to` rolls months and days over; `make` refuses what does not name a real
// date and time.
Cell* from_block(Cell* out, const Cell* spec, bool strict) {
	BlockSpec r = read_block(spec);
	int64_t year = r.c, day = r.a;
	if (r.a >= 100 && r.a > r.c) {
		year = r.a;
		day = r.c;
	}
	int64_t month = r.b;
	if (year < MIN_YEAR || year > MAX_YEAR) bad_spec(spec);
	bool with_time = r.count > 3;
	double local = r.time_value ? r.seconds : double(r.hour) * 3600 + double(r.minute) * 60 + r.seconds;
	if (!std::isfinite(local) || std::fabs(local) > TIME_LIMIT) bad_spec(spec);
	if (strict) {
		bool real_date = month >= 1 && month <= 12 && day >= 1 && day <= day_number(year, month + 1, 1) - day_number(year, month, 1);
		bool real_time = local >= 0 && local < DAY_SECONDS;
		if (!r.time_value) real_time = real_time && r.hour <= 23 && r.minute >= 0 && r.minute <= 59 && r.seconds >= 0 && r.seconds < 60;
		if (!real_date || !real_time) bad_spec(spec);
	}
	// The month moves the year first; the day then counts from day 0 of it.
	int64_t n = day_number(year, month, 0) + day;
	uint32_t keep = with_time ? TIME_FLAG | zone_code(r.quarters) : 0;
	if (!with_time) local = 0;
	int64_t lowest = day_number(MIN_YEAR, 1, 1), highest = day_number(MAX_YEAR, 12, 31);
	if (n < lowest || n > highest) bad_spec(spec);
	return rebuild(out, n, local - r.quarters * 900.0, keep);
}

Cell* make(Cell* proto, Cell* spec, Type) {
	switch (cell::type_of(spec)) {
	case T_DATE: return cell::copy(spec, proto);
	case T_BLOCK: case T_PAREN: case T_HASH: return from_block(proto, spec, true);
	default: bad_spec(spec);
	}
}

Cell* to(Cell* proto, Cell* spec, Type) {
	switch (cell::type_of(spec)) {
	case T_DATE: return cell::copy(spec, proto);
	case T_BLOCK: case T_PAREN: case T_HASH: return from_block(proto, spec, false);
	case T_INTEGER: return from_epoch(proto, integer::get(spec));
	default: bad_spec(spec);
	}
}

// ---- comparison ----

// Dates compare as instants: the day difference is folded into the first
// time, so both times stay small and the float comparison keeps its
// precision.
int32_t compare(const Cell* value1, const Cell* value2, CompareOp op) {
	if (!cell::is(value2, T_DATE)) return COMPARE_UNRELATED;
	int64_t days = day_number_of(packed_of(value1)) - day_number_of(packed_of(value2));
	double t1 = time_of(value1) + double(days) * DAY_SECONDS;
	double t2 = time_of(value2);
	if (op == COMP_SAME) return t1 == t2 ? 0 : (t1 < t2 ? -1 : 1);
	if (float_::almost_equal(t1, t2)) return 0;
	return t1 < t2 ? -1 : 1;
}

// ---- arithmetic ----

Cell* add() { return do_math(OP_ADD); }
Cell* subtract() { return do_math(OP_SUB); }

// ---- random ----

Cell* random(Cell* value, bool seed, bool secure, bool) {
	uint32_t p = packed_of(value);
	double t = time_of(value);
	if (seed) {
		double whole = std::isfinite(t) ? std::trunc(std::fmod(t, 4294967296.0)) : 0;
		random::seed(int32_t(p + uint32_t(int64_t(whole))));
		cell::make_unset(value);
		return value;
	}
	int64_t n = day_number_of(p);
	// A uniform day between 0 and n - 1 (or n + 1 and 0 before day 0).
	if (n > 0)
		n = random::rand_range(secure, int32_t(n)) - 1;
	else if (n < 0)
		n = random::rand_range(secure, int32_t(n)) + 1;
	uint32_t keep = p & TIME_FLAG;
	if (!has_time(p)) return rebuild(value, n, 0, keep);
	uint32_t zone = uint32_t(random::rand_range(secure, 128) - 1);
	keep |= zone;
	int32_t draw = secure ? random::secure_next() : int32_t(uint32_t(random::next()) & 0x7FFFFFFFu);
	double local = DAY_SECONDS * double(draw) / 2147483648.0;
	return rebuild(value, n, local - zone_seconds(keep), keep);
}

// ---- form and mold ----

// The first 3 characters of a month's name, from the locale when it has
// a month list.
void month_name(int32_t month, char out[3]) {
	static constexpr const char names[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
	if (!locale_months) {
		for (int i = 0; i < 3; i++) out[i] = names[(month - 1) * 3 + i];
		return;
	}
	const Cell* list = locale_months();
	spans::Cells cells = list ? spans::cells_of(list) : spans::Cells{nullptr, 0};
	const Cell* entry = uint32_t(month - 1) < cells.count ? cells.head + month - 1 : nullptr;
	if (!entry || !cell::is(entry, T_STRING)) errors::fire(errors::id::script_invalid_months);
	spans::Units name = spans::units_of(entry);
	for (uint32_t i = 0; i < 3; i++) {
		uint32_t cp = i < name.count ? name.at(i) : ' ';
		out[i] = cp < 0x80 ? char(cp) : '?';
	}
}

char* two_digits(char* p, int32_t v) {
	*p++ = char('0' + v / 10);
	*p++ = char('0' + v % 10);
	return p;
}

int32_t mold_date(const Cell* value, Cell* buffer, int32_t part) {
	uint32_t p = packed_of(value);
	int32_t year = year_of(p);
	char sep = year < 0 ? '/' : '-';
	char text[32];
	char* q = integer::form_signed(day_of(p), text);
	*q++ = sep;
	month_name(month_of(p), q);
	q += 3;
	*q++ = sep;
	int32_t y = year;
	if (y < 0) {
		*q++ = '-';
		y = -y;
	}
	if (y < 100) {
		*q++ = '0';
		*q++ = '0';
		q = two_digits(q, y);
	} else {
		q = integer::form_signed(y, q);
	}
	if (!has_time(p)) return compound::emit(buffer, std::string_view(text, size_t(q - text)), part);
	*q++ = '/';
	double local = time_of(value) + zone_seconds(p);
	if (local >= 0 && local < DAY_SECONDS && local == std::floor(local)) {
		// Whole seconds, the common case: written here as time! would.
		int32_t s = int32_t(local);
		q = integer::form_signed(s / 3600, q);
		*q++ = ':';
		q = two_digits(q, s / 60 % 60);
		*q++ = ':';
		q = two_digits(q, s % 60);
		part = compound::emit(buffer, std::string_view(text, size_t(q - text)), part);
	} else {
		part = compound::emit(buffer, std::string_view(text, size_t(q - text)), part);
		part = time::form_hms(local, buffer, part);
	}
	int32_t zq = zone_quarters(p);
	if (zq == 0) return part;
	q = text;
	*q++ = zq < 0 ? '-' : '+';
	int32_t a = zq < 0 ? -zq : zq;
	q = two_digits(q, a / 4);
	*q++ = ':';
	q = two_digits(q, (a % 4) * 15);
	return compound::emit(buffer, std::string_view(text, size_t(q - text)), part);
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) { return mold_date(value, buffer, part); }

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell*, int32_t part, int32_t) {
	return mold_date(value, buffer, part);
}

double epoch_seconds(const Cell* d) { return to_epoch(d); }

}  // namespace

// ---- calendar ----

uint32_t pack(int32_t year, int32_t month, int32_t day, uint32_t keep) {
	return uint32_t(year) << 17 | (keep & TIME_FLAG) | uint32_t(month) << 12 | uint32_t(day) << 7 | (keep & ZONE_BITS);
}

int64_t day_number(int64_t year, int64_t month, int64_t day) {
	// Months from March: January and February count with the previous year.
	int64_t years = floor_div(month - 1, 12);
	year += years;
	month -= years * 12;
	int64_t y = year - (month <= 2);
	int64_t era = floor_div(y, 400);
	int64_t yoe = y - era * 400;                      // 0-399
	int64_t mp = (month + 9) % 12;                    // March = 0
	int64_t doy = (153 * mp + 2) / 5 + day - 1;       // may leave 0-365 with odd days
	return era * DAYS_PER_ERA + yoe * 365 + yoe / 4 - yoe / 100 + doy;
}

uint32_t from_day_number(int64_t n, uint32_t keep) {
	int64_t era = floor_div(n, DAYS_PER_ERA);
	int64_t doe = n - era * DAYS_PER_ERA;                                 // 0-146096
	int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;  // 0-399
	int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);                // 0-365
	int64_t mp = (5 * doy + 2) / 153;                                     // March = 0
	int64_t day = doy - (153 * mp + 2) / 5 + 1;
	int64_t month = mp < 10 ? mp + 3 : mp - 9;
	int64_t year = yoe + era * 400 + (month <= 2);
	if (year < MIN_YEAR || year > MAX_YEAR) out_of_range();
	return pack(int32_t(year), int32_t(month), int32_t(day), keep);
}

bool zone_from_hours(int64_t hours, int64_t minutes, int32_t& quarters) {
	if (hours <= -16 || hours >= 16 || minutes <= -60 || minutes >= 60) return false;
	bool west = hours < 0 || (hours == 0 && minutes < 0);
	int32_t q = int32_t((hours < 0 ? -hours : hours) * 4 + (minutes < 0 ? -minutes : minutes) / 15);
	quarters = west ? -q : q;
	return true;
}

bool zone_from_time(double seconds, int32_t& quarters) {
	if (!std::isfinite(seconds) || std::fabs(seconds) >= 16 * 3600.0) return false;
	double a = std::fabs(seconds);
	int32_t q = int32_t(std::floor(a / 3600.0)) * 4 + int32_t(std::floor(std::fmod(a, 3600.0) / 60.0)) / 15;
	quarters = seconds < 0 ? -q : q;
	return true;
}

bool leap_year(int32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int32_t weekday_of(int64_t n) { return int32_t(floor_mod(n + 2, 7)) + 1; }

int32_t get_yearday(uint32_t p) { return int32_t(day_number_of(p) - day_number(year_of(p), 1, 1)) + 1; }

int64_t iso_week1_start(int32_t year) {
	int64_t jan1 = day_number(year, 1, 1);
	int32_t w1 = weekday_of(jan1);
	return w1 <= 4 ? jan1 + 1 - w1 : jan1 + 8 - w1;
}

void normalize_time(int64_t& n, double& time, int32_t zone) {
	if (!std::isfinite(time) || std::fabs(time) > TIME_LIMIT) out_of_range();
	double z = zone;
	int64_t h = int64_t(std::trunc((z + time) / 3600.0));
	int64_t k = h / 24;
	n += k;
	time -= DAY_SECONDS * double(k);
	if (time + z < 0) {
		n--;
		time += DAY_SECONDS;
	} else if (time + z >= DAY_SECONDS) {  // a rounding at the day's end
		n++;
		time -= DAY_SECONDS;
	}
}

Cell* make_at(Cell* out, int32_t year, int32_t month, int32_t day, double local_time, int32_t quarters,
	bool with_time) {
	if (!with_time) return set_at(out, pack(year, month, day, 0), 0);
	uint32_t zone = zone_code(quarters);
	return set_at(out, pack(year, month, day, TIME_FLAG | zone), local_time - quarters * 900.0);
}

Cell* make_at_hms(Cell* out, int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute, int32_t second,
	int32_t nanosecond) {
	double t = double(hour) * 3600 + double(minute) * 60 + double(second) + double(nanosecond) * 1e-9;
	return set_at(out, pack(year, month, day, TIME_FLAG), t);
}

Cell* rebuild(Cell* out, int64_t n, double t, uint32_t keep) {
	if (has_time(keep)) {
		normalize_time(n, t, zone_seconds(keep));
	} else {
		keep = 0;
		t = 0;
	}
	return set_at(out, from_day_number(n, keep), t);
}

Cell* push(uint32_t packed, double time) { return set_at(stack::alloc_slot(), packed, time); }

Cell* make_in(const Cell* block, uint32_t packed, double time) {
	return set_at(memory::alloc_tail(block), packed, time);
}

double to_epoch(const Cell* date) {
	double days = double(day_number_of(packed_of(date)) - EPOCH_DAY);
	// Rounded half up: trunc would move negative stored times a second on.
	return days * DAY_SECONDS + std::floor(time_of(date) + 0.5);
}

Cell* from_epoch(Cell* out, double seconds) {
	double days = std::trunc(seconds / DAY_SECONDS);
	return rebuild(out, EPOCH_DAY + int64_t(days), seconds - days * DAY_SECONDS, TIME_FLAG);
}

void difference(Cell* date1, const Cell* date2) {
	int64_t days = day_number_of(packed_of(date1)) - day_number_of(packed_of(date2));
	time::make_at(date1, (time_of(date1) - time_of(date2)) + DAY_SECONDS * double(days));
}

Cell* do_math(MathOp op) {
	Cell* left = stack::arguments;
	Cell* right = left + 1;
	uint32_t p = packed_of(left);
	int64_t n = day_number_of(p);
	double t = time_of(left);
	double sign = op == OP_SUB ? -1 : 1;
	switch (cell::type_of(right)) {
	case T_INTEGER: n += int64_t(sign) * cell::get_integer(right); break;
	case T_TIME: {
		t += sign * time::get(right);
		p |= TIME_FLAG;
		// Most sums stay within the day: the packed date is kept as it is.
		int64_t moved = n;
		normalize_time(moved, t, zone_seconds(p));
		return set_at(left, moved == n ? p : from_day_number(moved, p), t);
	}
	case T_DATE: {
		if (op != OP_SUB) datatype::fire_word_type(errors::id::script_not_related, extended_math::action_name(op), T_DATE);
		// Whole elapsed days between the instants (rounded down); the
		// zones take no part, so equal instants are 0 days apart.
		int64_t days = n - day_number_of(packed_of(right));
		double dt = t - time_of(right);
		normalize_time(days, dt, 0);
		if (days < INT32_MIN || days > INT32_MAX) out_of_range();
		cell::make_integer(left, int32_t(days));
		return left;
	}
	default: datatype::fire_type(errors::id::script_invalid_type, cell::type_of(right));
	}
	return rebuild(left, n, t, p & (TIME_FLAG | ZONE_BITS));
}

void init_type() {
	ActionRow row{};
	row.make = make;
	row.random = random;
	row.to = to;
	row.form = form;
	row.mold = mold;
	row.eval_path = eval_path;
	row.compare = compare;
	row.add = add;
	row.subtract = subtract;
	row.pick = pick;
	registry::register_type(T_DATE, Type(0), "date!", row);
	extended_math::do_math[T_DATE] = do_math;
	extended_math::date_to_seconds = epoch_seconds;
	natives::date_difference = difference;
}

}  // namespace vyn::date
