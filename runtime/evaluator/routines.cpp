#include "runtime/evaluator/routines.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "runtime/compiled.h"
#include "runtime/context.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/file.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/routine.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/lexer.h"
#include "runtime/evaluator/natives.h"
#include "runtime/evaluator/stack.h"
#include "runtime/evaluator/codec_routines.h"
#include "gui/draw/routines.h"
#include "runtime/evaluator/system_routines.h"
#include "runtime/io/clipboard.h"
#include "runtime/io/image_routines.h"
#include "runtime/io/os_info.h"
#include "runtime/io/serial_codec.h"
#include "runtime/io/simple_io.h"
#include "runtime/platform_exit.h"

namespace vyn::routines {

void answer_logic(bool b) {
	Cell c;
	cell::make_logic(&c, b);
	stack::set_result(&c);
}

void answer_integer(int64_t n) {
	Cell c;
	cell::make_integer(&c, int32_t(n));
	stack::set_result(&c);
}

namespace {

const Cell UNSET_CELL{T_UNSET, 0, 0, 0};
const Cell NONE_CELL{T_NONE, 0, 0, 0};

inline Cell* args() { return stack::arguments; }

void quit_return() {
	int32_t status = cell::get_integer(args());
	platform::flush_stdout();
	std::fflush(nullptr);
	std::_Exit(platform::quit_status(status));
}

void set_quiet() {
	Cell w = args()[0];
	Cell v = args()[1];
	Type t = cell::type_of(&w);
	if (t != T_WORD && t != T_SET_WORD && t != T_LIT_WORD && t != T_GET_WORD) compiled::raise_expect_arg(0, &w);
	context::set_in(&w, &v, w.data1, false);
	stack::set_result(&v);
}

void set_slot_quiet() {
	Cell s = args()[0];
	Type t = cell::type_of(&s);
	if (t != T_BLOCK && t != T_PAREN && !(t >= T_PATH && t <= T_GET_PATH)) compiled::raise_expect_arg(0, &s);
	Series* b = memory::buffer_of(&s);
	// At or past the tail there is no slot to set: writing there would
	// reach beyond the series' cells.
	if (s.data1 >= b->used() / sizeof(Cell)) errors::fire(errors::id::script_past_end, &s);
	b->head_cell()[s.data1] = args()[1];
	stack::set_result(&args()[1]);
}

void shift(natives::Shift mode) {
	answer_integer(natives::shift(cell::get_integer(args()), cell::get_integer(args() + 1), mode));
}
void shift_left() { shift(natives::Shift::left); }
void shift_logical() { shift(natives::Shift::logical); }
void shift_right() { shift(natives::Shift::right); }

void last_lf_q() { answer_logic(natives::print_last_lf); }

void get_current_dir() {
	Cell* out = stack::alloc_slot();
	file::load(out, reinterpret_cast<const uint8_t*>(""), 0, 0);
	file::get_current_dir(out);
	stack::set_result(out);
}

void set_current_dir() {
	Cell path = args()[0];
	if (::chdir(file::to_os_path(&path)) != 0) errors::fire(errors::id::access_cannot_open, &path);
	stack::set_result(&path);
}

void create_dir() {
	Cell path = args()[0];
	if (!simple_io::make_dir(file::to_os_path(&path))) errors::fire(errors::id::access_no_create, &path);
	stack::set_result(&path);
}

void exists_q() {
	Cell path = args()[0];
	answer_logic(simple_io::file_exists_q(file::to_os_path(&path)));
}

// A tuple of the first `count` arguments: each must be 0 or more.
void tuple_of(uint32_t count, bool spill) {
	uint32_t word = 0;
	uint8_t bytes[4];
	for (uint32_t i = 0; i < count; i++) {
		int32_t v = cell::get_integer(args() + i);
		if (v < 0) errors::fire(errors::id::script_invalid_arg, args() + i);
		if (spill)
			word |= uint32_t(v) << (8 * i);
		else
			bytes[i] = uint8_t(v);
	}
	if (spill)
		for (uint32_t i = 0; i < count; i++) bytes[i] = uint8_t(word >> (8 * i));
	Cell out;
	tuple::make_at(&out, count, bytes);
	stack::set_result(&out);
}
void as_color() { tuple_of(3, false); }
void as_ipv4() { tuple_of(4, true); }

// Characters of UTF-8 text between two positions of one binary: every byte
// that does not continue a sequence starts one. Both positions are clamped
// to the tail; a `pos` at or before `start` counts 0. A `pos` of another
// binary has no place in this one and is refused.
void count_chars() {
	const Cell* start = args();
	const Cell* pos = args() + 1;
	if (pos->data2 != start->data2) errors::fire(errors::id::script_invalid_arg, pos);
	Series* s = memory::buffer_of(start);
	uint32_t used = s->used();
	uint32_t from = std::min(start->data1, used), to = std::min(pos->data1, used);
	int64_t n = 0;
	for (const uint8_t* p = s->head_ptr() + from; p < s->head_ptr() + to; p++) n += (*p & 0xC0) != 0x80;
	answer_integer(n);
}

void stack_size_q() { answer_integer(stack::top - stack::bottom); }

void pick_stack() {
	int64_t i = cell::get_integer(args());
	if (i <= 0 || i >= stack::top - stack::bottom) return (void)stack::set_result(&NONE_CELL);
	Cell v = stack::bottom[i - 1];
	stack::set_result(&v);
}

void frame_index_q() { answer_integer(stack::arguments - stack::bottom); }

void collect_calls() {
	Cell block = args()[0];
	stack::collect_calls(&block);
	stack::set_result(&block);
}

void tracing_q() { answer_logic(interpreter::delivering()); }

void tracer_installed_q() { answer_logic(interpreter::tracer_installed()); }

void set_trace_delivery() {
	interpreter::set_delivery(args()->data1 != 0);
	stack::set_result(&UNSET_CELL);
}

// The operating system as an object: name (string!), arch (word!), version
// (tuple! of the kernel's three numbers) and build (integer!).
void os_info() {
	platform::OsInfo info = platform::get_os_info();
	Cell* spec = stack::alloc_slot();
	block::make_at(spec, 8);
	Cell value;
	word::make_in_named(spec, "name", T_SET_WORD);
	block::append_value(spec, string::load_at(&value, info.name));
	word::make_in_named(spec, "arch", T_SET_WORD);
	word::make_in_named(spec, info.arch.c_str());
	word::make_in_named(spec, "version", T_SET_WORD);
	block::append_value(spec, tuple::make_at(&value, 3, info.version.data()));
	word::make_in_named(spec, "build", T_SET_WORD);
	cell::make_integer(&value, info.build);
	block::append_value(spec, &value);
	Cell* obj = object::construct_push(spec, nullptr, true);
	stack::set_result(obj);
}

void get_command_line() {
	Cell* out = stack::alloc_slot();
	stack::set_result(platform::load_command_line(out));
}

void get_command_args() {
	Cell* out = stack::alloc_slot();
	stack::set_result(platform::load_arguments(out));
}

void read_clipboard() {
	Cell* out = stack::alloc_slot();
	clipboard::read(out);
	stack::set_result(out);
}

void write_clipboard() { answer_logic(clipboard::write(args())); }

void write_stdout() {
	Cell data = args()[0];
	simple_io::write(nullptr, &data, nullptr, nullptr, false, false, false);
	stack::set_result(&UNSET_CELL);
}

const Definition DEFINITIONS[] = {
	{"quit-return", R"v(["Stops evaluation and exits the program with a given status"
		status [integer!] "Process termination value to return"])v", quit_return},
	{"set-quiet", R"v(["Set an object's field to a value without triggering eventual object's events"
		word [any-type!] value [any-type!] return: [any-type!]])v", set_quiet},
	{"set-slot-quiet", R"v(["Set a value in series without triggering eventual owner's events"
		series [any-type!] value [any-type!]])v", set_slot_quiet},
	{"shift-right", R"v(["Shift bits to the right" data [integer!] bits [integer!]])v", shift_right},
	{"shift-left", R"v(["Shift bits to the left" data [integer!] bits [integer!]])v", shift_left},
	{"shift-logical", R"v(["Shift bits to the right (unsigned)" data [integer!] bits [integer!]])v", shift_logical},
	{"last-lf?", R"v(["Internal Use Only"])v", last_lf_q},
	{"get-current-dir", R"v(["Returns the platform's current directory for the process"])v", get_current_dir},
	{"set-current-dir", R"v(["Sets the platform's current process directory" path [file!]])v", set_current_dir},
	{"create-dir", R"v(["Create the given directory" path [file!]])v", create_dir},
	{"exists?", R"v(["Returns TRUE if the file exists" path [file!] return: [logic!]])v", exists_q},
	{"as-color", R"v(["Combine R, G and B values into a tuple" r [integer!] g [integer!] b [integer!]])v", as_color},
	{"as-ipv4", R"v(["Combine a, b, c and d values into a tuple"
		a [integer!] b [integer!] c [integer!] d [integer!]])v", as_ipv4},
	{"as-rgba", R"v(["Combine R, G, B and A color components into a tuple"
		r [integer!] g [integer!] b [integer!] a [integer!]])v", as_ipv4},
	{"count-chars", R"v(["Count UTF-8 encoded characters between two positions in a binary series"
		start [binary!] pos [binary!] return: [integer!]])v", count_chars},
	{"stack-size?", R"v([return: [integer!]])v", stack_size_q},
	{"pick-stack", R"v([idx [integer!]])v", pick_stack},
	{"frame-index?", R"v([return: [integer!]])v", frame_index_q},
	{"collect-calls", R"v([blk [block!]])v", collect_calls},
	{"tracing?", R"v([])v", tracing_q},
	// Taken into the developer tools by library/tools.vyn, which unsets these words.
	{"tracer-installed?", R"v(["Internal Use Only" return: [logic!]])v", tracer_installed_q},
	{"set-trace-delivery", R"v(["Internal Use Only" on [logic!]])v", set_trace_delivery},
	{"os-info", R"v(["Returns detailed operating system version information"])v", os_info},
	{"read-clipboard", R"v(["Return the contents of the system clipboard"
		return: [any-type!] "false on failure, none if empty, otherwise: string!, block! of files!, or an image!"])v",
		read_clipboard},
	{"write-clipboard", R"v(["Write content to the system clipboard"
		data [any-type!] "string!, block! of files!, an image! or none!" return: [logic!] "indicates success"])v",
		write_clipboard},
	{"write-stdout", R"v(["Write data to STDOUT" data [any-type!]])v", write_stdout},
	// The sources of system/script/args and system/options/args.
	{"get-command-line", R"v(["Returns the program's arguments joined by spaces, those holding blanks in double quotes"
		return: [string!]])v", get_command_line},
	{"get-command-args", R"v(["Returns the program's arguments as they were given, the program's name first"
		return: [block!]])v", get_command_args},
	// Taken into the serialisation codec by library/vynbin.vyn, which unsets these words.
	{"vynbin-encode*", R"v([data [any-type!] compact? [logic!]])v", serial_codec::encode_routine},
	{"vynbin-decode", R"v([payload [any-type!]])v", serial_codec::decode_routine},
	// Taken into the image codecs by library/image-codecs.vyn, which unsets these words.
	{"png-encode", R"v([img [image!] where [any-type!]])v", image_routines::encode_routine<image_codec::PNG>},
	{"jpeg-encode", R"v([img [image!] where [any-type!]])v", image_routines::encode_routine<image_codec::JPEG>},
	{"bmp-encode", R"v([img [image!] where [any-type!]])v", image_routines::encode_routine<image_codec::BMP>},
	{"gif-encode", R"v([img [image!] where [any-type!]])v", image_routines::encode_routine<image_codec::GIF>},
	{"tiff-encode", R"v([img [image!] where [any-type!]])v", image_routines::encode_routine<image_codec::TIFF>},
	{"image-decode", R"v([data [any-type!]])v", image_routines::decode_routine},
};

}  // namespace

void define(const Definition& d) {
	std::string_view text = d.spec;
	Cell* saved = stack::top;
	Cell* loaded = stack::push(lexer::load(reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size())));
	// The loaded text is a block holding the spec block.
	Cell spec = *memory::buffer_of(loaded)->head_cell();
	stack::push(&spec);
	Cell value;
	routine::push(&spec, &NONE_CELL, routine::register_entry(d.entry), 0, false, &value);
	Cell w = *word::load(d.name);
	context::set(&w, &value);
	stack::top = saved;
}

void define_all() {
	for (const Definition& d : DEFINITIONS) define(d);
	system_routines::define_all();
	codec_routines::define_all();
	draw_routines::define_all();
}

}  // namespace vyn::routines
