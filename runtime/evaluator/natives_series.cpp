// The series and text natives: the set operations, complement?, dehex,
// enhex, case change, debase, enbase, new-line, new-line? and
// to-local-file.
#include <cstring>

#include "runtime/case_folding.h"
#include "runtime/datatypes/binary_base.h"
#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/constants.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/file.h"
#include "runtime/datatypes/spans.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/datatypes/url.h"
#include "runtime/errors.h"
#include "runtime/evaluator/natives.h"
#include "runtime/evaluator/stack.h"
#include "runtime/utf8.h"

namespace vyn::natives {

void (*block_set_op)(int32_t op, bool case_sensitive, const Cell* skip) = nullptr;
void (*date_difference)(Cell* date1, const Cell* date2) = nullptr;

namespace {

inline Cell* args() { return stack::arguments; }
inline void answer(const Cell* v) { stack::set_result(v); }

// ---- set operations ----

// Set-operation codes of the dispatch.
enum SetCode : int32_t { UNIQUE = 8, UNION, INTERSECT, EXCLUDE, DIFFERENCE };

inline bool block_or_hash(Type t) { return t == T_BLOCK || t == T_HASH; }

template <int32_t Code>
void set_op(bool, const int32_t* refs) {
	bool case_sensitive = refs[0] >= 0;
	const Cell* skip = refs[1] >= 0 ? args() + refs[1] : nullptr;
	Type t1 = cell::type_of(args());
	if (Code != UNIQUE) {
		Type t2 = cell::type_of(args() + 1);
		if (t1 != t2 && !(block_or_hash(t1) && block_or_hash(t2))) {
			Cell a, b;
			datatype::make_at(&a, t1);
			datatype::make_at(&b, t2);
			errors::fire(errors::id::script_expect_val, &a, &b);
		}
	}
	switch (t1) {
	case T_BLOCK:
	case T_HASH:
		if (!block_set_op) errors::fire(errors::id::internal_not_done);
		block_set_op(Code, case_sensitive, skip);
		break;
	case T_STRING: string::do_set_op(Code, case_sensitive, skip); break;
	case T_BITSET: bitset::do_bitwise(Code); break;
	case T_TYPESET: typeset::do_bitwise(Code); break;
	case T_DATE:
		if (Code != DIFFERENCE) datatype::fire_call_type(errors::id::script_expect_arg, t1, "set1");
		if (!date_difference) errors::fire(errors::id::internal_not_done);
		date_difference(args(), args() + 1);
		break;
	default: datatype::fire_call_type(errors::id::script_expect_arg, t1, Code == UNIQUE ? "set" : "set1");
	}
	Cell result = *args();
	answer(&result);
}

void n_complement_q(bool, const int32_t*) {
	if (!cell::is(args(), T_BITSET)) datatype::fire_call_type(errors::id::script_expect_arg, cell::type_of(args()), "bits");
	answer(constants::logic_cell(bitset::complemented(args())));
}

// ---- URL escapes ----

void n_dehex(bool, const int32_t*) {
	Cell value = *args();
	Cell* out = stack::alloc_slot();
	string::make_at(out, spans::units_of(&value).count);
	url::decode(&value, out);
	answer(out);
}

void n_enhex(bool, const int32_t*) {
	Cell value = *args();
	Cell* out = stack::alloc_slot();
	string::make_at(out, spans::units_of(&value).count);
	url::encode(&value, out, cell::is(&value, T_STRING) ? url::ENCODE_UNRESERVED : url::ENCODE_URL);
	answer(out);
}

// ---- case ----

template <bool Upper>
void change_case(bool, const int32_t* refs) {
	const Cell* part = refs[0] >= 0 ? args() + refs[0] : nullptr;
	answer(unicode::change_case_part(args(), part, Upper));
}

// ---- base encodings ----

int32_t base_arg(const int32_t* refs) {
	if (refs[0] < 0) return 64;
	const Cell* base = args() + refs[0];
	int32_t b = cell::get_integer(base);
	if (b != 2 && b != 16 && b != 58 && b != 64) errors::fire(errors::id::script_invalid_arg, base);
	return b;
}

void n_debase(bool, const int32_t* refs) {
	int32_t base = base_arg(refs);
	Cell* result = stack::push(&constants::none_cell);
	spans::Units text = spans::units_of(args());
	uint64_t room = binary::decoded_room(base, text.count);
	Node node = memory::alloc_bytes(uint32_t(room));
	uint8_t* out = memory::series(node)->head_ptr();
	int64_t n;
	switch (base) {
	case 2: n = binary::decode_base2(out, text.head, text.count, text.width); break;
	case 16: n = binary::decode_base16(out, text.head, text.count, text.width); break;
	case 58: n = binary::decode_base58(out, text.head, text.count, text.width); break;
	default: n = binary::decode_base64(out, text.head, text.count, text.width); break;
	}
	if (n >= 0) {
		Series* s = memory::series(node);
		s->tail = s->head + uint32_t(n);
		cell::set(result, T_BINARY, 0, node, 0);
	}
	answer(result);
}

// The bytes a binary holds from its position, or a text's UTF-8.
spans::Bytes data_bytes(Cell* value) {
	if (cell::is(value, T_BINARY)) return spans::bytes_of(value);
	int32_t count = -1;
	const uint8_t* bytes = unicode::to_utf8(value, &count);
	return {bytes, uint32_t(count)};
}

void n_enbase(bool, const int32_t* refs) {
	int32_t base = base_arg(refs);
	Cell value = *args();
	spans::Bytes in = data_bytes(&value);
	uint64_t room = binary::encoded_room(base, in.count);
	if (room > 0x7FFFFFFFu) errors::fire(errors::id::script_too_long);
	Cell* out = stack::alloc_slot();
	string::make_at(out, uint32_t(room));
	Series* s = memory::buffer_of(out);
	uint32_t n;
	switch (base) {
	case 2: n = binary::encode_base2(s->head_ptr(), in.head, in.count); break;
	case 16: n = binary::encode_base16(s->head_ptr(), in.head, in.count); break;
	case 58: n = binary::encode_base58(s->head_ptr(), in.head, in.count); break;
	default: n = binary::encode_base64(s->head_ptr(), in.head, in.count); break;
	}
	s->tail = s->head + n;
	answer(out);
}

// ---- new lines ----

void n_new_line(bool, const int32_t* refs) {
	Cell position = *args();
	bool value = args()[1].data1 != 0;
	spans::Cells cells = spans::cells_of(&position);
	Cell* at = const_cast<Cell*>(cells.head);
	if (refs[0] < 0 && refs[1] < 0) {
		if (cells.count > 0) at->header = value ? at->header | FLAG_NEW_LINE : at->header & ~FLAG_NEW_LINE;
		return answer(&position);
	}
	int32_t step = 1;
	if (refs[1] >= 0) {
		const Cell* size = args() + refs[1];
		step = cell::get_integer(size);
		if (step <= 0) errors::fire(errors::id::script_out_of_range, size);
	}
	for (uint32_t i = 0; i < cells.count; i++) {
		bool mark = (i % uint32_t(step) == 0) == value;
		at[i].header = mark ? at[i].header | FLAG_NEW_LINE : at[i].header & ~FLAG_NEW_LINE;
	}
	answer(&position);
}

void n_new_line_q(bool, const int32_t*) {
	spans::Cells cells = spans::cells_of(args());
	answer(constants::logic_cell(cells.count > 0 && cell::new_line(cells.head)));
}

// ---- files ----

void n_to_local_file(bool, const int32_t* refs) {
	Cell path = *args();
	Cell* out = stack::alloc_slot();
	string::make_at(out, spans::units_of(&path).count);
	file::path_to_local(&path, out, refs[0] >= 0);
	answer(out);
}

}  // namespace

void register_series() {
	set(N_UNION, set_op<UNION>);
	set(N_INTERSECT, set_op<INTERSECT>);
	set(N_UNIQUE, set_op<UNIQUE>);
	set(N_DIFFERENCE, set_op<DIFFERENCE>);
	set(N_EXCLUDE, set_op<EXCLUDE>);
	set(N_COMPLEMENT_Q, n_complement_q);
	set(N_DEHEX, n_dehex);
	set(N_ENHEX, n_enhex);
	set(N_UPPERCASE, change_case<true>);
	set(N_LOWERCASE, change_case<false>);
	set(N_DEBASE, n_debase);
	set(N_ENBASE, n_enbase);
	set(N_NEW_LINE, n_new_line);
	set(N_NEW_LINE_Q, n_new_line_q);
	set(N_TO_LOCAL_FILE, n_to_local_file);
}

}  // namespace vyn::natives
