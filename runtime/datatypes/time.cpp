#include "runtime/datatypes/time.h"

#include <charconv>
#include <cmath>

#include "runtime/context.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/constants.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/extended_math.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/word.h"
#include "runtime/evaluator/stack.h"
#include "runtime/memory.h"
#include "runtime/ownership.h"
#include "runtime/symbol.h"
#include "runtime/words.h"

namespace vyn::time {

namespace {

[[noreturn]] void bad_spec(const Cell* spec) { datatype::fire_type(errors::id::script_bad_to_arg, T_TIME, spec); }

// [hours minutes seconds], each part optional from the end; only the hours
// may be negative, and then the whole time is.
double from_block(Cell* spec) {
	int32_t count = block::vs_length(spec);
	if (count > 3) bad_spec(spec);
	double parts[3] = {0, 0, 0};
	for (int32_t i = 0; i < count; i++) {
		const Cell* item = block::vs_head(spec) + i;
		if (cell::is(item, T_INTEGER))
			parts[i] = integer::get(item);
		else if (i == 2 && cell::is(item, T_FLOAT))
			parts[i] = float_::get(item);
		else
			bad_spec(spec);
		if (i > 0 && parts[i] < 0) bad_spec(spec);
	}
	double magnitude = std::fabs(parts[0]) * SECONDS_PER_HOUR + parts[1] * SECONDS_PER_MINUTE + parts[2];
	return parts[0] < 0 ? -magnitude : magnitude;
}

Cell* make(Cell* proto, Cell* spec, Type) {
	double t;
	switch (cell::type_of(spec)) {
	case T_TIME: return cell::copy(spec, proto);
	case T_INTEGER: t = integer::get(spec); break;
	case T_FLOAT: case T_PERCENT: t = float_::get(spec); break;
	case T_BLOCK: case T_PAREN: case T_HASH: t = from_block(spec); break;
	default: {
		if (!string::any_string(spec)) bad_spec(spec);
		Cell loaded;
		float_::load_value(spec, &loaded);
		if (!cell::is(&loaded, T_TIME)) bad_spec(spec);
		return cell::copy(&loaded, proto);
	}
	}
	return make_at(proto, t);
}

// Appends text and charges it against the part limit.
int32_t emit(Cell* buffer, std::string_view text, int32_t part) {
	string::append_literal(buffer, text);
	return part - int32_t(text.size());
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) { return form_hms(get(value), buffer, part); }

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell*, int32_t part, int32_t) {
	return form_hms(get(value), buffer, part);
}

void field_at(double t, Field field, Cell* out) {
	switch (field) {
	case HOUR: cell::make_integer(out, hours_of(t)); break;
	case MINUTE: cell::make_integer(out, minutes_of(t)); break;
	case SECOND: float_::make_at(out, std::fmod(t, SECONDS_PER_MINUTE)); break;
	}
}

// The field a word names, 0 for any other word.
int32_t field_of_word(const Cell* word) {
	uint32_t symbol = word->data2;
	if (symbol::same_name(symbol, words::sym_hour)) return HOUR;
	if (symbol::same_name(symbol, words::sym_minute)) return MINUTE;
	if (symbol::same_name(symbol, words::sym_second)) return SECOND;
	return 0;
}

Cell* pick(Cell* series, int32_t, const Cell* index) {
	int32_t n = word::is_any_word(cell::type_of(index)) ? field_index(index, series)
		: cell::is(index, T_INTEGER) ? integer::get(index) : 0;
	if (n < HOUR || n > SECOND) errors::fire(errors::id::script_out_of_range, index);
	Field field = Field(n);
	field_at(get(series), field, series);
	return series;
}

// Replaces one field of the magnitude, keeping the sign; a negative hour
// makes the time negative.
double with_field(double t, Field field, double v) {
	bool negative = std::signbit(t) && t != 0.0;
	double a = std::fabs(t);
	switch (field) {
	case HOUR:
		if (v < 0) negative = true;
		a -= (std::floor(a / SECONDS_PER_HOUR) - std::fabs(v)) * SECONDS_PER_HOUR;
		break;
	case MINUTE: a -= (std::floor(std::fmod(a, SECONDS_PER_HOUR) / SECONDS_PER_MINUTE) - v) * SECONDS_PER_MINUTE; break;
	case SECOND: a -= std::fmod(a, SECONDS_PER_MINUTE) - v; break;
	}
	return negative ? -a : a;
}

// A set-path changed a time held by an object field or a series: the
// object hears (field word, old, new), a series owner the set-path change.
void notify_owner(Cell* owner, Cell* field_word, const Cell* old_time, const Cell* time) {
	if (!owner) return;
	if (!cell::is(owner, T_OBJECT)) {
		int32_t index = -1;
		if (series::any_block(owner)) {
			Series* s = memory::buffer_of(owner);
			if (time >= s->head_cell() && time < s->tail_cell()) index = int32_t(time - s->head_cell()) - int32_t(owner->data1);
		}
		ownership::check(owner, words::w_set_path, index, 1, time);
		return;
	}
	if (!context::on_change) return;
	Cell* saved = stack::top;
	Cell* o = stack::push(owner);
	Cell* w = stack::push(field_word ? field_word : &constants::none_cell);
	Cell* old = stack::push(old_time);
	Cell* fresh = stack::push(time);
	context::on_change(o, w, old, fresh);
	stack::top = saved;
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* owner, Cell* field_word, int32_t, bool,
	bool, bool, bool notify) {
	int32_t n = word::is_any_word(cell::type_of(element)) ? field_of_word(element)
		: cell::is(element, T_INTEGER) ? integer::get(element) : 0;
	if (n < HOUR || n > SECOND) errors::fire(errors::id::script_invalid_path, path ? path : &constants::none_cell, element);
	Field field = Field(n);
	if (!value) return push_field(parent, field);
	double v;
	if (cell::is(value, T_INTEGER))
		v = integer::get(value);
	else if (field == SECOND && cell::is(value, T_FLOAT))
		v = float_::get(value);
	else
		errors::fire(errors::id::script_invalid_arg, value);
	Cell old = *parent;
	cell::put_double(parent, with_field(get(parent), field, v));
	if (notify) notify_owner(owner, field_word, &old, parent);
	return value;
}

template <MathOp Op>
Cell* arithmetic() {
	return float_::do_math(Op);
}

Cell* add() {
	Cell* left = stack::arguments;
	Cell* right = left + 1;
	if (!cell::is(right, T_DATE)) return float_::do_math(OP_ADD);
	extended_math::DoMath worker = extended_math::worker(T_DATE);
	if (!worker) datatype::fire_type(errors::id::script_invalid_type, T_DATE);
	extended_math::swap_operands(left, right);
	return worker(OP_ADD);
}

Cell* subtract() {
	if (cell::is(stack::arguments + 1, T_DATE)) datatype::fire_word_type(errors::id::script_not_related, "subtract", T_TIME);
	return float_::do_math(OP_SUB);
}

Cell* multiply() {
	if (cell::is(stack::arguments + 1, T_TIME)) datatype::fire_word_type(errors::id::script_not_related, "multiply", T_TIME);
	return float_::do_math(OP_MUL);
}

// A time divided by a time is a plain ratio.
Cell* divide() {
	bool ratio = cell::is(stack::arguments + 1, T_TIME);
	Cell* result = float_::do_math(OP_DIV);
	if (ratio) cell::set_type(result, T_FLOAT);
	return result;
}

Cell* round(Cell* value, const Cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling,
	bool half_ceiling) {
	if (scale && cell::is(scale, T_MONEY)) datatype::fire_call_type(errors::id::script_not_related, T_MONEY);
	Cell seconds;
	if (scale && cell::is(scale, T_INTEGER)) scale = float_::make_at(&seconds, integer::get(scale));
	float_::round(value, scale, even, down, half_down, floor, ceiling, half_ceiling);
	cell::set_type(value, T_TIME);
	return value;
}

// The whole seconds of the time nudged away from zero decide.
bool odd(const Cell* value) {
	double t = get(value);
	double s = std::fmod(t + std::copysign(TOLERANCE, t), SECONDS_PER_MINUTE);
	return (int32_t(s) & 1) != 0;
}
bool even(const Cell* value) { return !odd(value); }

// Seconds text: "00" below the tolerance, else 6 significant digits with a
// leading "0" below 10 ("05", "00.5").
std::string_view seconds_text(double s, char* out) {
	if (s < TOLERANCE) return "00";
	char* start = out + 1;
	char* end = float_::form_double(start, s, 4);
	if (end - start == 1 || start[1] == '.') *--start = '0';
	return {start, size_t(end - start)};
}

}  // namespace

Cell* push(double seconds) { return make_at(stack::alloc_slot(), seconds); }
Cell* make_in(const Cell* block, double seconds) { return make_at(memory::alloc_tail(block), seconds); }

int32_t hours_of(double t) { return integer::from_double(std::trunc(t / SECONDS_PER_HOUR)); }

int32_t minutes_of(double t) {
	return int32_t(std::floor(std::fmod(std::fabs(t), SECONDS_PER_HOUR) / SECONDS_PER_MINUTE));
}

int32_t field_index(const Cell* word, const Cell* value) {
	int32_t n = field_of_word(word);
	if (n) return n;
	if (cell::is(value, T_TIME)) errors::fire(errors::id::script_cannot_use, word, value);
	return -1;
}

Cell* push_field(const Cell* time, Field field) {
	Cell* out = stack::alloc_slot();
	field_at(get(time), field, out);
	return out;
}

int32_t form_hms(double t, Cell* buffer, int32_t part) {
	char text[float_::FORM_CAPACITY + 1];
	if (!std::isfinite(t)) return emit(buffer, std::string_view(text, size_t(float_::form_double(text, t, 1) - text)), part);
	if (t < 0) part = emit(buffer, "-", part);
	double a = std::fabs(t);
	// Exact for every magnitude below 2^53: the remainders are exact and
	// the differences whole multiples.
	double s = std::fmod(a, SECONDS_PER_MINUTE);
	double within_hour = std::fmod(a, SECONDS_PER_HOUR);
	double minutes = (within_hour - s) / SECONDS_PER_MINUTE;
	double hours = std::floor((a - within_hour) / SECONDS_PER_HOUR);
	std::string_view seconds = seconds_text(s, text);
	if (seconds == "60") {  // rounded up to the next minute: carry
		seconds = "00";
		if (++minutes == 60) {
			minutes = 0;
			hours++;
		}
	}
	char number[400];
	char* end = std::to_chars(number, number + sizeof number, hours, std::chars_format::fixed, 0).ptr;
	part = emit(buffer, std::string_view(number, size_t(end - number)), part);
	number[0] = ':';
	number[1] = char('0' + int(minutes) / 10);
	number[2] = char('0' + int(minutes) % 10);
	number[3] = ':';
	part = emit(buffer, std::string_view(number, 4), part);
	return emit(buffer, seconds, part);
}

void init_type() {
	constexpr uint64_t inherited = registry::slot_bit(A_RANDOM) | registry::slot_bit(A_COMPARE) |
		registry::slot_bit(A_ABSOLUTE) | registry::slot_bit(A_NEGATE) | registry::slot_bit(A_REMAINDER);
	ActionRow row{};
	row.make = make;
	row.to = make;
	row.form = form;
	row.mold = mold;
	row.eval_path = eval_path;
	row.add = add;
	row.divide = divide;
	row.multiply = multiply;
	row.round = round;
	row.subtract = subtract;
	row.even_q = even;
	row.odd_q = odd;
	row.pick = pick;
	registry::register_type(T_TIME, T_FLOAT, "time!", row,inherited);
}

}  // namespace vyn::time
