#include "runtime/evaluator/system_routines.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "build_info.h"
#include "runtime/collector.h"
#include "runtime/context.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/file.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/lexer.h"
#include "runtime/evaluator/routines.h"
#include "runtime/evaluator/stack.h"
#include "runtime/symbol.h"

namespace vyn::system_routines {

namespace {

inline Cell* args() { return stack::arguments; }

void answer(const Cell* value) {
	Cell v = *value;
	stack::set_result(&v);
}

using routines::answer_logic;

// The collector's counters wrap within integer!.
void answer_count(uint32_t n) { routines::answer_integer(n & 0x7FFFFFFF); }

// The value of a field of an object context, or null.
Cell* field_of(Node ctx, const char* name) {
	int32_t i = context::find_word(ctx, symbol::make(name), true);
	return i < 0 ? nullptr : context::values(ctx) + i;
}

// An object field of an object context, as its context node (0 when the
// field is missing or holds no object).
Node object_field(Node ctx, const char* name) {
	Cell* v = field_of(ctx, name);
	return v && cell::is(v, T_OBJECT) ? v->data1 : 0;
}

// system/words: the global context itself, not a copy, so that setting a
// word through it sets the global word. Class -1, no change handlers.
void build_system_words() {
	Cell o;
	cell::set(&o, T_OBJECT, context::global, uint32_t(-1), 0);
	stack::set_result(&o);
}

void gc_active_q() { answer_logic(collector::active); }
void gc_series_cycles() { answer_count(collector::cycles()); }
void gc_nodes_cycles() { answer_count(collector::nodes_cycles()); }

// The catalog the runtime forms its error reports from: system/catalog/errors
// holds this very object, so editing a message changes the printed text.
void error_catalog() {
	Cell c;
	error::catalog(&c);
	stack::set_result(&c);
}

// The block money! reads its currency indexes from.
void currency_list() { answer(money::currency_list()); }

void set_float_flag() {
	const Cell* flag = args();
	const Cell* v = args() + 1;
	bool on = !cell::is(v, T_NONE) && !(cell::is(v, T_LOGIC) && v->data1 == 0);
	if (symbol::same_name(flag->data2, symbol::make("pretty?")))
		float_::pretty = on;
	else if (symbol::same_name(flag->data2, symbol::make("full?")))
		float_::full = on;
	else
		errors::fire(errors::id::script_invalid_arg, flag);
	answer(args() + 1);
}

// Hands the runtime the parts of the system object it reads: system/state
// (the error report's stack-trace and source-files), state/callbacks (the
// bits that let tracing reach handlers) and lexer/exit-states (the type
// argument of lexer callbacks).
void register_system() {
	Node sys = args()->data1;
	if (Node state = object_field(sys, "state")) {
		error::state = state;
		interpreter::callbacks = object_field(state, "callbacks");
	}
	if (Node lexer = object_field(sys, "lexer")) {
		Cell* states = field_of(lexer, "exit-states");
		if (states && cell::is(states, T_BLOCK)) lexer::token_class_words = *states;
	}
	answer(args());
}

// The home of the download cache: $HOME, else the password file's home
// directory; without either, a directory of our own under /tmp.
void user_home_dir() {
	std::string home;
	if (const char* h = std::getenv("HOME"); h && *h) home = h;
	if (home.empty())
		if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && *pw->pw_dir) home = pw->pw_dir;
	if (home.empty()) home = private_dir("/tmp/vyn-" + std::to_string(::getuid()));
	Cell out;
	if (home.empty()) {
		cell::make_none(&out);
	} else {
		if (home.back() != '/') home += '/';
		file::load(&out, reinterpret_cast<const uint8_t*>(home.data()), uint32_t(home.size()), 0);
	}
	stack::set_result(&out);
}

// The build's description: [date commit-date branch commit message tag ahead]
// with the dates as epoch seconds (see cmake/build_info.cmake).
void build_description() {
	Cell* out = stack::alloc_slot();
	block::make_at(out, 8);
	Cell v;
	date::from_epoch(&v, double(build_info::date_epoch));
	block::append_value(out, &v);
	cell::make_integer(&v, int32_t(build_info::commit_epoch));
	block::append_value(out, &v);
	block::append_value(out, string::load_at(&v, build_info::branch));
	block::append_value(out, string::load_at(&v, build_info::commit));
	block::append_value(out, string::load_at(&v, build_info::message));
	block::append_value(out, string::load_at(&v, build_info::tag));
	cell::make_integer(&v, build_info::ahead);
	block::append_value(out, &v);
	stack::set_result(out);
}

const routines::Definition DEFINITIONS[] = {
	{"build-system-words", R"v(["Makes the object over the global context"])v", build_system_words},
	{"gc-active?", R"v(["Returns TRUE if the collector is on" return: [logic!]])v", gc_active_q},
	{"gc-series-cycles", R"v(["Returns the count of series collections" return: [integer!]])v",
		gc_series_cycles},
	{"gc-nodes-cycles", R"v(["Returns the count of node collections" return: [integer!]])v", gc_nodes_cycles},
	{"error-catalog", R"v(["Internal Use Only"])v", error_catalog},
	{"currency-list", R"v(["Internal Use Only"])v", currency_list},
	{"set-float-flag", R"v(["Internal Use Only" flag [word!] value [any-type!]])v", set_float_flag},
	{"register-system", R"v(["Internal Use Only" sys [object!]])v", register_system},
	{"user-home-dir", R"v(["Internal Use Only"])v", user_home_dir},
	{"build-description", R"v(["Internal Use Only"])v", build_description},
};

}  // namespace

std::string private_dir(const std::string& dir) {
	if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return {};
	struct stat st;
	if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
		(st.st_mode & 0077) != 0)
		return {};
	return dir;
}

void define_all() {
	for (const routines::Definition& d : DEFINITIONS) routines::define(d);
}

}  // namespace vyn::system_routines
