#include "boot/repl.h"

#include <unistd.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "runtime/collector.h"
#include "runtime/context.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/lexer.h"
#include "runtime/evaluator/natives.h"
#include "runtime/evaluator/routines.h"
#include "runtime/evaluator/stack.h"
#include "runtime/platform_exit.h"
#include "runtime/print_hooks.h"
#include "runtime/registry.h"
#include "runtime/symbol.h"
#include "runtime/utf8.h"

namespace vyn::repl {

namespace {

constexpr const char* PROMPT = ">> ";

uint32_t console_columns() {
	winsize ws{};
	if (isatty(STDOUT_FILENO) && ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
	return 80;
}

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

// Tracks the constructs a pending input leaves open, as the console's
// multi-line input does: answers true when the input is complete (or can
// never become valid by adding lines, so loading reports the error).
bool complete(const std::string& input) {
	std::vector<char> open;
	size_t i = 0, n = input.size();
	while (i < n) {
		char c = input[i];
		char top = open.empty() ? 0 : open.back();
		if (top == '{') {  // inside a braced string
			if (c == '^') {
				i += 2;
				continue;
			}
			if (c == '{') open.push_back('{');
			if (c == '}') open.pop_back();
			i++;
			continue;
		}
		switch (c) {
		case ';':
			while (i < n && input[i] != '\n') i++;
			continue;
		case '"': {
			i++;
			while (i < n && input[i] != '"' && input[i] != '\n') i += input[i] == '^' ? 2 : 1;
			if (i >= n || input[i] == '\n') return true;  // a string never spans lines
			i++;
			continue;
		}
		case '[':
		case '(':
		case '{': open.push_back(c); break;
		case ']':
		case ')': {
			char want = c == ']' ? '[' : '(';
			if (top != want) return true;  // a real syntax error
			open.pop_back();
			break;
		}
		case '}': return true;
		case '%':
			if (i + 1 < n && input[i + 1] == '{') {  // raw string: %{ ... }% with as many %
				size_t percents = 1;
				while (i >= percents && input[i - percents] == '%') percents++;
				std::string close = "}" + std::string(percents, '%');
				size_t end = input.find(close, i + 2);
				if (end == std::string::npos) return false;
				i = end + close.size();
				continue;
			}
			break;
		case '#':
			if (i + 1 < n && input[i + 1] == '"') {  // a char literal: #"x"
				i += 2;
				while (i < n && input[i] != '"' && input[i] != '\n') i += input[i] == '^' ? 2 : 1;
				i++;
				continue;
			}
			break;
		default: break;
		}
		i++;
	}
	return open.empty();
}

// Forms or molds the result as the console does, cut to the width.
std::string result_text(const Cell* value, uint32_t columns) {
	int32_t limit = int32_t(columns) - 3;
	Cell* buffer = stack::alloc_slot();
	string::make_at(buffer, 64);
	Cell v = *value;
	// As /part: a long text is cut while it is molded, not after.
	Cell part;
	cell::make_integer(&part, limit + 5);
	if (cell::is(&v, T_FLOAT))
		actions::form(&v, buffer, &part, limit + 5);
	else
		actions::mold(&v, buffer, false, false, false, &part, limit + 5, 0);
	uint32_t units = string::vs_length(buffer);
	if (int32_t(units) > limit) {
		string::truncate(buffer, uint32_t(limit - int32_t(std::strlen(PROMPT)) - 1));
		string::append_literal(buffer, "...");
	}
	std::string text = text_of(buffer);
	stack::pop(1);
	return text;
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

// An error's report; a failure while forming it gives a plain one.
std::string report_text(const Cell* error) {
	std::string text;
	stack::reset_all();
	stack::mark_symbol(stack::body_symbol, stack::OPEN_TRY_ALL);
	try {
		text = form_text(error);
	} catch (const Throw& t) {
		if (t.code == THROW_QUIT) throw;
		text = "*** Error " + std::to_string(errors::code_of(error));
	}
	stack::reset_all();
	return text;
}

void print_error(const Cell* error) { write_out(report_text(error) + "\n\n"); }

// The console's halt: the word halt-request thrown under the name console,
// which no catch took, so it arrives as the throw error that carries it.
bool is_halt(const Cell* error) {
	if (!cell::is(error, T_ERROR) || error::code_of(error) != int32_t(errors::id::throw_throw.code())) return false;
	const Cell* thrown = context::values(error->data1) + error::ARG1;
	return cell::is(thrown, T_WORD) && symbol::name(thrown->data2) == "halt-request";
}

// A script's error that nothing caught: its report goes to standard error.
int report_uncaught(const Cell* error) {
	std::string text = report_text(error);
	platform::flush_stdout();
	std::fprintf(stderr, "%s\n", text.c_str());
	return platform::EXIT_UNCAUGHT_ERROR;
}

// Loads and evaluates one complete input; prints what the console shows.
// At the prompt, errors are reported and the status stays 0; a script ends
// at its first uncaught error or throw, with the status that says so.
int do_command(const std::string& input, uint32_t columns, bool script = false) {
	stack::reset_all();
	cycles::reset();
	// Between inputs no C++ frame holds a handle: node frames may be compacted.
	if (memory::collection_requested && collector::active) collector::run(true);
	// The console's own frames are unnamed: an error raised at the top level
	// names no function (<not-found>), one raised by loading names the lexer.
	stack::mark_symbol(stack::body_symbol, stack::OPEN_TRY_ALL);
	try {
		// The line feed that ends the last line is not part of the text.
		uint32_t size = uint32_t(input.size());
		if (size && input[size - 1] == '\n') size--;
		Cell loader;
		actions::make_word("transcode", &loader);
		stack::mark_native(&loader);
		Cell* code = lexer::load(reinterpret_cast<const uint8_t*>(input.data()), size);
		stack::unwind_last();
		code = stack::arguments;
		if (script) code->data1 += 2;  // past the header word and block
		if (memory::buffer_of(code)->used() <= code->data1 * sizeof(Cell)) return 0;
		Cell block = *code;
		interpreter::eval(&block, true);
		if (errors::pending) {
			errors::pending = THROW_NONE;
			return 0;
		}
		Cell result = *stack::arguments;
		if (script && !cell::is(&result, T_ERROR)) return 0;
		if (cell::is(&result, T_UNSET)) return 0;
		if (cell::is(&result, T_ERROR)) {
			print_error(&result);
			return 0;
		}
		write_out("== " + result_text(&result, columns) + "\n");
	} catch (const Throw& t) {
		if (t.code == THROW_QUIT) throw;
		cycles::reset();
		if (t.code != THROW_ERROR) {
			if (script) platform::fatal_error(platform::EXIT_UNCAUGHT_THROW);
			return 0;
		}
		Cell error = *stack::get_top();
		if (is_halt(&error)) {
			write_out("(halted)\n");
			return 0;
		}
		if (script) return report_uncaught(&error);
		print_error(&error);
	}
	return 0;
}

// The headless console's printer: the text goes to standard output.
void print_to_stdout(const Cell* text, int32_t) {
	Cell t = *text;
	std::string out = text_of(&t);
	if (natives::print_newline) out += '\n';
	write_out(out);
}

// ask: the next line of standard input, read through the stream the
// prompt reads, so lines a script asks for are the ones that follow it.
// The question shows only on a terminal, as the prompt does; at the end of
// the input the answer is none.
void ask() {
	Cell question = stack::arguments[0];
	if (isatty(STDIN_FILENO)) write_out(text_of(&question));
	std::string line;
	Cell answer;
	if (!std::getline(std::cin, line)) {
		cell::make_none(&answer);
	} else {
		if (!line.empty() && line.back() == '\r') line.pop_back();
		answer = *string::load_at(stack::alloc_slot(), line);
	}
	stack::set_result(&answer);
}

}  // namespace

void install_print_hooks() { dyn_print::add(print_to_stdout, nullptr); }

void install_input() {
	routines::define({"ask", R"v(["Prompts for a line of input and answers it (none at the end of the input)"
		question [string!]])v", ask});
}

int run_stdin() {
	uint32_t columns = console_columns();
	std::string pending, line;
	try {
		while (std::getline(std::cin, line)) {
			if (!line.empty() && line.back() == '\r') line.pop_back();
			if (pending.empty() && line.empty()) continue;
			if (!line.empty() && line.back() == 27) {
				pending.clear();
				write_out("(escape)\n");
				continue;
			}
			pending += line;
			pending += '\n';
			if (!complete(pending)) continue;
			do_command(pending, columns);
			pending.clear();
		}
		if (!pending.empty()) do_command(pending, columns);
	} catch (const Throw& t) {
		if (t.code == THROW_QUIT) return 0;
		throw;
	}
	return 0;
}

int run_script(const std::string& text) {
	// The header: "Vyn", optionally "/System", white space, then "[".
	size_t at = 0;
	for (;;) {
		at = text.find("Vyn", at);
		if (at == std::string::npos) {
			platform::flush_stdout();
			std::fprintf(stderr, "*** Error: Vyn header not found!\n");
			return 1;
		}
		size_t p = at + 3;
		if (text.compare(p, 7, "/System") == 0) p += 7;
		while (p < text.size() && (text[p] == ' ' || text[p] == '\t' || text[p] == '\n' || text[p] == '\r')) p++;
		if (p < text.size() && text[p] == '[') break;
		at += 3;
	}
	try {
		return do_command(text.substr(at), console_columns(), true);
	} catch (const Throw& t) {
		if (t.code == THROW_QUIT) return 0;
		throw;
	}
}

}  // namespace vyn::repl
