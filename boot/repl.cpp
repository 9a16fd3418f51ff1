#include "boot/repl.h"

#include "runtime/collector.h"

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "gui/backend/backend.h"
#include "gui/backend/gtk/gtk_backend.h"
#include "runtime/context.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/io/os_info.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/lexer.h"
#include "runtime/evaluator/natives.h"
#include "runtime/evaluator/routines.h"
#include "runtime/evaluator/stack.h"
#include "runtime/platform_exit.h"
#include "runtime/print_hooks.h"
#include "runtime/registry.h"
#include "runtime/roots.h"
#include "runtime/symbol.h"
#include "runtime/utf8.h"

namespace vyn::repl {

namespace {

// Printing needs this much room left on both stacks, so a print from deep
// recursion raises stack-overflow before any text is written.
constexpr long PRINT_FRAMES_ROOM = 60;
constexpr long PRINT_CELLS_ROOM = 80;

const Cell NONE_VALUE{T_NONE, 0, 0, 0};
const Cell UNSET_VALUE{T_UNSET, 0, 0, 0};

void write_out(const std::string& text) {
	if (std::fwrite(text.data(), 1, text.size(), stdout) < text.size()) platform::check_stdout_error(errno);
	platform::flush_stdout();
}

// The UTF-8 text of a string value.
std::string text_of(Cell* s) {
	int32_t count = -1;
	uint8_t* bytes = unicode::to_utf8(s, &count);
	return std::string(reinterpret_cast<char*>(bytes), size_t(count));
}

std::string form_text(const Cell* value) {
	if (cell::is(value, T_ERROR) && !registry::entry(T_ERROR, A_FORM))
		return "*** Error " + std::to_string(errors::code_of(value));
	Cell* buffer = stack::alloc_slot();
	string::make_at(buffer, 64);
	Cell v = *value;
	actions::form(&v, buffer, nullptr, 0x7FFFFFFF);
	std::string text = text_of(buffer);
	stack::pop(1);
	return text;
}

// The value hook: `print` and `prin` text goes to standard output.
void print_value(const Cell* text, int32_t) {
	if (stack::frames_end - stack::frames_top <= PRINT_FRAMES_ROOM || stack::end - stack::top <= PRINT_CELLS_ROOM)
		errors::fire(errors::id::internal_stack_overflow);
	Cell t = *text;
	std::string out = text_of(&t);
	if (natives::print_newline) out += '\n';
	write_out(out);
}

// The runtime's own UTF-8 output as the console shows it: a leading byte
// order mark skipped, CR LF or a lone CR turned into LF.
std::string console_text(const char* text, uint32_t length) {
	std::string_view in(text, length == uint32_t(-1) ? std::strlen(text) : length);
	if (in.substr(0, 3) == "\xEF\xBB\xBF") in.remove_prefix(3);
	std::string out;
	out.reserve(in.size() + 1);
	for (size_t i = 0; i < in.size(); i++) {
		if (in[i] != '\r') {
			out += in[i];
			continue;
		}
		out += '\n';
		if (i + 1 < in.size() && in[i + 1] == '\n') i++;
	}
	return out;
}

// The raw-text hook.
void print_text(const char* text, uint32_t length, uint32_t flag) {
	std::string out = console_text(text, length);
	if (flag) out += '\n';
	write_out(out);
}

Cell* args() { return stack::arguments; }

// Echo off on the terminal while a hidden answer is typed; restored on
// every way out.
struct HiddenInput {
	termios saved{};
	bool active = false;
	explicit HiddenInput(bool hide) {
		if (!hide || !isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved) != 0) return;
		termios quiet = saved;
		quiet.c_lflag &= ~tcflag_t(ECHO);
		active = tcsetattr(STDIN_FILENO, TCSANOW, &quiet) == 0;
	}
	~HiddenInput() {
		if (!active) return;
		tcsetattr(STDIN_FILENO, TCSANOW, &saved);
		write_out("\n");
	}
};

// console-read-line question hide?: the next line of standard input, read
// through the one stream every ask reads, so the lines a script asks for are
// those that follow it. The question shows only on a terminal. At the end of
// the input the answer is none.
void read_line() {
	Cell question = args()[0];
	bool hide = cell::is(args() + 1, T_LOGIC) && args()[1].data1;
	if (isatty(STDIN_FILENO)) write_out(text_of(&question));
	std::string line;
	bool got;
	{
		HiddenInput hidden(hide);
		got = bool(std::getline(std::cin, line));
	}
	if (!got) return (void)stack::set_result(&NONE_VALUE);
	if (!line.empty() && line.back() == '\r') line.pop_back();
	Cell answer = *string::load_at(stack::alloc_slot(), line);
	stack::set_result(&answer);
}

// console-size: [columns rows] of the terminal on standard output, 80x24
// when it is not one.
void console_size() {
	winsize ws{};
	int64_t cols = 80, rows = 24;
	if (isatty(STDOUT_FILENO) && ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 && ws.ws_row > 0) {
		cols = ws.ws_col;
		rows = ws.ws_row;
	}
	routines::answer_integer(cols * 65536 + rows);
}

void console_tty_q() { routines::answer_logic(isatty(STDIN_FILENO)); }

// console-init title: the terminal's title, set with an OSC sequence only
// when standard output is a terminal. A title is cosmetic: nothing fails.
void console_init() {
	if (!isatty(STDOUT_FILENO)) return;
	Cell title = args()[0];
	std::string text = text_of(&title);
	for (char& c : text)
		if (uint8_t(c) < 0x20) c = ' ';
	write_out("\x1B]0;" + text + "\x07");
}

// console-do code: evaluates code with the console's frames below it hidden
// from call traces, as code typed at the prompt is top-level code. The
// floor stays after an error, so the error's report, formed later by the
// console, leaves the same frames out.
void console_do() {
	stack::trace_floor = stack::frames_top;
	cycles::reset();
	Cell code = args()[0];
	int32_t outer = collector::console_base;
	collector::console_running = true;
	collector::console_base = int32_t(stack::depth());
	interpreter::eval(&code, true);
	collector::console_base = outer;
}

// console-report error: a script's error that nothing caught (or the text
// of a failed start); its report goes to standard error, after what the
// script printed.
void console_report() {
	Cell error = args()[0];
	std::string text;
	try {
		text = cell::is(&error, T_ERROR) ? form_text(&error) : text_of(&error);
	} catch (const Throw& t) {
		if (t.code == THROW_QUIT) throw;
		text = "*** Error " + std::to_string(errors::code_of(&error));
	}
	platform::flush_stdout();
	std::fprintf(stderr, "%s\n", text.c_str());
	stack::set_result(&UNSET_VALUE);
}

// ---- the window's front end ----

// Whether the console opens its window: a display is there (and VYN_HEADLESS
// is not 1), standard input is not piped or redirected from a file (piped
// input is read as the headless console reads it), and no script is named
// unless --catch asks for the prompt after it.
bool window_wanted() {
	if (std::strcmp(backend::current().name(), "gtk") != 0) return false;
	struct stat st{};
	if (fstat(STDIN_FILENO, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISREG(st.st_mode) || S_ISSOCK(st.st_mode)))
		return false;
	std::vector<std::string> argv = platform::get_arguments();
	bool catch_ = false;
	for (size_t i = 1; i < argv.size(); i++) {
		const std::string& a = argv[i];
		if (a == "--") return i + 1 >= argv.size() || catch_;
		if (a.rfind("--", 0) != 0) return catch_;
		if (a == "--catch") catch_ = true;
	}
	return true;
}

bool window_front_end() {
	static const bool wanted = window_wanted();
	return wanted;
}

void console_window_q() { routines::answer_logic(window_front_end()); }

// The function that writes text into the window (the terminal's vprint),
// kept where the collector sees it while the hooks are installed.
Cell gui_printer{T_NONE, 0, 0, 0};

void mark_gui_printer() { collector::mark_cell(&gui_printer); }

// The window's value hook: the text goes to the terminal, with tracing off
// so that printing from a traced function does not trace the console.
void print_value_gui(const Cell* text, int32_t) {
	if (stack::frames_end - stack::frames_top <= PRINT_FRAMES_ROOM || stack::end - stack::top <= PRINT_CELLS_ROOM)
		errors::fire(errors::id::internal_stack_overflow);
	if (!cell::is(&gui_printer, T_FUNCTION)) return;
	static uint32_t name_symbol = symbol::make("vprint");
	Cell name{T_WORD, 0, name_symbol, 0xFFFFFFFFu};
	Cell call_args[2];
	call_args[0] = *text;
	cell::make_logic(call_args + 1, natives::print_newline);
	Cell fn = gui_printer;
	roots::Guard guard(call_args, 2);
	roots::Guard fn_guard(&fn);
	Cell* out = stack::alloc_slot();
	bool was_tracing = interpreter::tracing;
	interpreter::tracing = false;
	try {
		interpreter::call_for_value(&fn, call_args, 2, &name, out);
	} catch (...) {
		interpreter::tracing = was_tracing;
		throw;
	}
	interpreter::tracing = was_tracing;
	stack::pop(1);
}

// The window's raw-text hook: the text made a string for the value hook.
void print_text_gui(const char* text, uint32_t length, uint32_t flag) {
	Cell* s = stack::alloc_slot();
	string::load_at(s, console_text(text, length));
	bool saved = natives::print_newline;
	natives::print_newline = flag != 0;
	try {
		print_value_gui(s, int32_t(string::vs_length(s)));
	} catch (...) {
		natives::print_newline = saved;
		throw;
	}
	natives::print_newline = saved;
	stack::pop(1);
}

// console-add-gui-print printer: from here on print, prin and the runtime's
// output go to the window instead of standard output.
void add_gui_print() {
	static bool marker = false;
	if (!marker) collector::register_marker(mark_gui_printer);
	marker = true;
	gui_printer = args()[0];
	dyn_print::remove(print_value, print_text);
	dyn_print::remove(print_value_gui, print_text_gui);
	dyn_print::add(print_value_gui, print_text_gui);
}

// console-remove-gui-print: output goes to standard output again (the
// window is gone; what is printed while the process ends still shows).
void remove_gui_print() {
	dyn_print::remove(print_value_gui, print_text_gui);
	dyn_print::remove(print_value, print_text);
	dyn_print::add(print_value, print_text);
	cell::make_none(&gui_printer);
}

// get-caret-blink-time: GTK's caret blink time in milliseconds; negative
// when blinking is off, 0 without a display.
void caret_blink_time() { routines::answer_integer(gtk_backend::caret_blink_time()); }

}  // namespace

void install_print_hooks() { dyn_print::add(print_value, print_text); }

void install_input() {
	routines::define({"console-read-line", R"v([question [string!] hide [logic!]])v", read_line});
	routines::define({"console-size", "[]", console_size});
	routines::define({"console-tty?", "[]", console_tty_q});
	routines::define({"console-init", R"v([str [string!]])v", console_init});
	routines::define({"console-do", R"v([code [block!]])v", console_do});
	routines::define({"console-report", R"v([error [error! string!]])v", console_report});
	routines::define({"console-window?", "[]", console_window_q});
	routines::define({"console-add-gui-print", R"v([printer [function!]])v", add_gui_print});
	routines::define({"console-remove-gui-print", "[]", remove_gui_print});
	routines::define({"get-caret-blink-time", "[]", caret_blink_time});
}

namespace {

// Evaluates a loaded block as top-level code. An error nothing caught is
// reported on standard error and the process fails; a throw of no known
// kind ends it as such.
int run_top(Cell code) {
	Cell name{T_WORD, 0, stack::body_symbol, 0xFFFFFFFFu};
	stack::mark_try_all(&name);
	try {
		interpreter::eval(&code, true);
	} catch (const Throw& t) {
		if (t.code == THROW_QUIT) throw;
		if (t.code != THROW_ERROR) platform::fatal_error(platform::EXIT_UNCAUGHT_THROW);
		Cell error = *stack::get_top();
		std::string report = form_text(&error);
		platform::flush_stdout();
		std::fprintf(stderr, "%s\n", report.c_str());
		return platform::EXIT_UNCAUGHT_ERROR;
	}
	stack::reset_all();
	return 0;
}

}  // namespace

int launch() {
	stack::reset_all();
	const char* text = window_front_end() ? "gui-console-ctx/launch" : "system/console/launch";
	// The loaded block stays on the data stack, where the collector sees it.
	return run_top(*lexer::load(reinterpret_cast<const uint8_t*>(text), uint32_t(std::strlen(text))));
}

int run_script(const std::string& text) {
	size_t at = text.find("Vyn");
	std::string body = at == std::string::npos ? text : text.substr(at);
	stack::reset_all();
	Cell code = *lexer::load(reinterpret_cast<const uint8_t*>(body.data()), uint32_t(body.size()));
	if (at != std::string::npos) code.data1 += 2;  // past the header word and block
	return run_top(code);
}

}  // namespace vyn::repl
