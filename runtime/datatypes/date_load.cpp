// Date literals: the text of one date token into a date! cell.
//
// Forms: day-month-year or year-month-day with "-" or "/" used twice (the
// month as 1-2 digits or a name of 3 to 9 letters that begins an English
// month name, any case); the compact form yyyymmddThhmm[ss[.f]] with "Z" or
// a +hhmm zone; ISO week dates yyyy-Www[-d] and ordinal dates yyyy-ddd.
// After "/" or "T" a time h:m[:s[.f]] may follow, then "Z" or a zone
// +hh[[:]mm] / -hh[[:]mm].
#include <charconv>

#include "runtime/datatypes/date.h"

namespace vyn::date {

namespace {

constexpr int MAX_DIGITS = 9;  // keeps every run within 32 bits

bool is_digit(uint8_t c) { return c >= '0' && c <= '9'; }

struct Reader {
	const uint8_t* p;
	const uint8_t* end;

	bool at_end() const { return p == end; }
	int peek() const { return p < end ? *p : -1; }
	bool take(char c) {
		if (p == end || *p != uint8_t(c)) return false;
		p++;
		return true;
	}
	bool take_either(char a, char b) { return take(a) || take(b); }
	// A run of digits: answers its length (0 when none, -1 when too long).
	int digits(int64_t& v) {
		v = 0;
		int n = 0;
		while (p < end && is_digit(*p)) {
			if (++n > MAX_DIGITS) return -1;
			v = v * 10 + (*p++ - '0');
		}
		return n;
	}
};

struct Parsed {
	int64_t year = 0, month = 1, day = 1;
	bool with_time = false;
	double seconds = 0;  // local time of day
	int32_t quarters = 0;
	int64_t week = 0, weekday = 0, yearday = 0;
};

// Seconds with an optional fraction, from the reader's position: 1-2 digits
// (or exactly `width` when given), then "." and digits.
bool read_seconds(Reader& r, int width, double& s) {
	const uint8_t* start = r.p;
	int64_t whole;
	int n = r.digits(whole);
	if (n <= 0 || (width ? n != width : n > 2)) return false;
	if (r.take('.')) {
		int64_t fraction;
		if (r.digits(fraction) <= 0) return false;
	}
	std::from_chars_result got = std::from_chars(reinterpret_cast<const char*>(start), reinterpret_cast<const char*>(r.p), s);
	return got.ec == std::errc() && got.ptr == reinterpret_cast<const char*>(r.p) && s < 60;
}

bool zone_of(int64_t hours, int64_t minutes, bool west, int32_t& quarters) {
	if (hours > 15 || minutes > 59) return false;
	int32_t q = int32_t(hours * 4 + minutes / 15);
	quarters = west ? -q : q;
	return true;
}

// "Z", or a sign, 1-2 digits of hours and optionally ":" and 2 digits of
// minutes, or 4 digits hhmm.
bool read_zone(Reader& r, int32_t& quarters) {
	if (r.take_either('Z', 'z')) return true;
	bool west = r.peek() == '-';
	if (!r.take_either('+', '-')) return false;
	int64_t v, m = 0;
	int n = r.digits(v);
	if (n == 4) return zone_of(v / 100, v % 100, west, quarters);
	if (n < 1 || n > 2) return false;
	if (r.take(':') && r.digits(m) != 2) return false;
	return zone_of(v, m, west, quarters);
}

// h:m[:s[.f]] and an optional zone, to the end of the text.
bool read_time(Reader& r, Parsed& d) {
	int64_t h, m;
	int nh = r.digits(h);
	if (nh < 1 || nh > 2 || !r.take(':')) return false;
	int nm = r.digits(m);
	if (nm < 1 || nm > 2 || h > 23 || m > 59) return false;
	double s = 0;
	if (r.take(':') && !read_seconds(r, 0, s)) return false;
	if (!r.at_end() && !read_zone(r, d.quarters)) return false;
	d.with_time = true;
	d.seconds = double(h) * 3600 + double(m) * 60 + s;
	return r.at_end();
}

// yyyymmddThhmm followed by "Z", or by seconds and then nothing, "Z" or a
// zone of a sign and 4 digits.
bool read_compact(Reader& r, int64_t a, int na, Parsed& d) {
	if (na < 5 || na > 8) return false;
	d.year = a / 10000;
	d.month = a / 100 % 100;
	d.day = a % 100;
	r.p++;  // the "T"
	// Exactly hhmm, then seconds of their own.
	const uint8_t* clock = r.p;
	int64_t run;
	if (r.digits(run) < 4) return false;
	r.p = clock + 4;
	int64_t h = (clock[0] - '0') * 10 + (clock[1] - '0');
	int64_t m = (clock[2] - '0') * 10 + (clock[3] - '0');
	if (h > 23 || m > 59) return false;
	d.with_time = true;
	double s = 0;
	if (!r.take_either('Z', 'z')) {
		if (!read_seconds(r, 2, s)) return false;
		if (!r.at_end() && !r.take_either('Z', 'z')) {
			bool west = r.peek() == '-';
			if (!r.take_either('+', '-')) return false;
			int64_t z;
			if (r.digits(z) != 4 || !zone_of(z / 100, z % 100, west, d.quarters)) return false;
		}
	}
	d.seconds = double(h) * 3600 + double(m) * 60 + s;
	return r.at_end();
}

// A month name of 3 to 9 letters that begins an English month name.
bool read_month_name(Reader& r, int64_t& month) {
	static constexpr const char* names[] = {"january", "february", "march", "april", "may", "june", "july",
		"august", "september", "october", "november", "december"};
	const uint8_t* start = r.p;
	while (r.p < r.end && ((*r.p | 0x20) >= 'a' && (*r.p | 0x20) <= 'z')) r.p++;
	size_t n = size_t(r.p - start);
	if (n < 3 || n > 9) return false;
	for (int64_t i = 0; i < 12; i++) {
		const char* name = names[i];
		size_t k = 0;
		while (k < n && name[k] && (start[k] | 0x20) == uint8_t(name[k])) k++;
		if (k == n) {
			month = i + 1;
			return true;
		}
	}
	return false;
}

// After the first number and its separator.
bool read_separated(Reader& r, int64_t a, int na, char sep, Parsed& d) {
	if (sep == '-' && r.take_either('W', 'w')) {  // yyyy-Www[-d]
		d.year = a;
		if (r.digits(d.week) != 2 || d.week < 1 || d.week > 53) return false;
		if (r.take('-') && (r.digits(d.weekday) != 1 || d.weekday < 1 || d.weekday > 7)) return false;
		if (r.at_end()) return true;
		return r.take('/') || r.take_either('T', 't') ? read_time(r, d) : false;
	}
	int64_t b;
	if (is_digit(uint8_t(r.peek()))) {
		int nb = r.digits(b);
		if (nb == 3 && sep == '-' && r.peek() != '-') {  // yyyy-ddd
			d.year = a;
			d.yearday = b;
			if (b < 1 || b > (leap_year(int32_t(a)) ? 366 : 365)) return false;
			if (r.at_end()) return true;
			return r.take('/') || r.take_either('T', 't') ? read_time(r, d) : false;
		}
		if (nb < 1 || nb > 2) return false;
		d.month = b;
	} else if (!read_month_name(r, d.month)) {
		return false;
	}
	if (!r.take(sep)) return false;
	bool negative = sep == '/' && r.take('-');
	int64_t c;
	int nc = r.digits(c);
	if (nc <= 0) return false;
	if (!negative && (a > 99 || na > 2) && nc <= 2) {
		d.year = a;
		d.day = c;
	} else {
		if (na > 2) return false;
		d.day = a;
		d.year = negative ? -c : c;
		// Two-digit years: 50-99 are 19xx, 0-49 are 20xx.
		if (!negative && nc <= 2) d.year += c > 49 ? 1900 : 2000;
	}
	if (r.at_end()) return true;
	if (!r.take('/') && !r.take_either('T', 't')) return false;
	return read_time(r, d);
}

}  // namespace

bool scan(const uint8_t* start, const uint8_t* end, Cell* out) {
	Reader r{start, end};
	Parsed d;
	int64_t a;
	int na = r.digits(a);
	if (na <= 0) return false;
	int c = r.peek();
	bool ok = c == 'T' || c == 't' ? read_compact(r, a, na, d)
		: c == '-' || c == '/'     ? (r.p++, read_separated(r, a, na, char(c), d))
								   : false;
	if (!ok || d.year < -9999 || d.year > 9999) return false;
	int32_t year = int32_t(d.year);
	if (d.week || d.yearday) {
		// Week 53 exists only in years of 53 ISO weeks (371 days).
		if (d.week == 53 && iso_week1_start(year + 1) - iso_week1_start(year) != 371) return false;
		make_at(out, year, 1, 1, d.seconds, d.quarters, d.with_time);
		if (d.yearday) set_yearday(out, int32_t(d.yearday));
		if (d.week) set_week(out, int32_t(d.week));
		if (d.weekday) set_weekday(out, int32_t(d.weekday));
		return true;
	}
	if (d.month < 1 || d.month > 12 || d.day < 1) return false;
	if (d.day > day_number(year, d.month + 1, 1) - day_number(year, d.month, 1)) return false;
	make_at(out, year, int32_t(d.month), int32_t(d.day), d.seconds, d.quarters, d.with_time);
	return true;
}

}  // namespace vyn::date
