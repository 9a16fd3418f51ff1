// The predefined symbols and words: the names the runtime itself refers to,
// made once at start-up and kept in globals.
//
// Every name has its symbol id in `sym_<name>`; the names that are also
// words have their global word in `w_<name>`, a cell of a fixed buffer that
// never moves (the collector marks it through `block`). Names are written
// with hyphens as underscores, "?" as _q, "*" dropped; special ones:
// "|" bar, "-" dash, the type names sym_<type>_type, the frame names
// w_frame_<name>, the operating-system names w_os_<name>.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

// X(identifier, "name"): symbols that are not words.
#define VYN_PREDEFINED_SYMBOLS(X)                                                                          \
	X(spec, "spec") X(body, "body") X(words, "words") X(class, "class") X(self, "self") X(values, "values") \
	X(owner, "owner") X(owned, "owned") X(events_q, "events?")                                               \
	X(logic_type, "logic!") X(integer_type, "integer!") X(char_type, "char!") X(float_type, "float!")       \
	X(percent_type, "percent!") X(any_type, "any-type!")                                                     \
	X(repeat, "repeat") X(foreach, "foreach") X(map_each, "map-each") X(remove_each, "remove-each")         \
	X(break, "break") X(fail, "fail") X(reject, "reject") X(none, "none") X(dash, "-") X(only, "only")      \
	X(after, "after")                                                                                        \
	X(x, "x") X(y, "y") X(z, "z")                                                                            \
	X(true, "true") X(false, "false") X(yes, "yes") X(no, "no") X(on, "on") X(off, "off")                   \
	X(face, "face") X(window, "window") X(offset, "offset") X(key, "key") X(flag, "flag") X(code, "code")   \
	X(picked, "picked") X(flags, "flags") X(away_q, "away?") X(ctrl_q, "ctrl?") X(shift_q, "shift?")        \
	X(down_q, "down?") X(mid_down_q, "mid-down?") X(alt_down_q, "alt-down?") X(aux_down_q, "aux-down?")     \
	X(orientation, "orientation")                                                                            \
	X(get, "get") X(post, "post") X(size, "size") X(rgb, "rgb") X(alpha, "alpha") X(argb, "argb")           \
	X(date, "date") X(year, "year") X(month, "month") X(day, "day") X(zone, "zone") X(week, "week")         \
	X(isoweek, "isoweek") X(weekday, "weekday") X(yearday, "yearday") X(julian, "julian") X(time, "time")   \
	X(hour, "hour") X(minute, "minute") X(second, "second") X(timezone, "timezone")                         \
	X(amount, "amount") X(host, "host") X(system, "system") X(system_global, "system-global")               \
	X(trace, "trace") X(no_trace, "no-trace")                                                                \
	X(actor, "actor") X(scheme, "scheme") X(user_info, "user-info") X(port, "port") X(path, "path")         \
	X(target, "target") X(fragment, "fragment") X(ref, "ref")

// X(identifier, "name"): words of the global context.
#define VYN_PREDEFINED_WORDS(X)                                                                            \
	X(os_windows, "Windows") X(os_syllable, "Syllable") X(os_macos, "macOS") X(os_linux, "Linux")    \
	X(os_netbsd, "NetBSD")   \
	X(to, "to") X(thru, "thru") X(not, "not") X(remove, "remove") X(while, "while") X(collect, "collect")   \
	X(keep, "keep") X(ahead, "ahead") X(bar, "|") X(any, "any") X(some, "some") X(copy, "copy")             \
	X(opt, "opt") X(into, "into") X(insert, "insert") X(if, "if") X(quote, "quote") X(set, "set")          \
	X(case, "case") X(end, "end")                                                                            \
	X(frame_body, "<body>") X(frame_anon, "<anon>") X(frame_not_found, "<not-found>")                       \
	X(frame_applied, "<applied>") X(frame_interp_callback, "<interp-callback>")                             \
	X(frame_lexer_callback, "<lexer-callback>") X(frame_parse_callback, "<parse-callback>")                 \
	X(frame_compare_callback, "<compare-callback>")                                                          \
	X(push, "push") X(pop, "pop") X(fetch, "fetch") X(match, "match") X(iterate, "iterate")                 \
	X(paren, "paren")                                                                                        \
	X(add, "add") X(subtract, "subtract") X(divide, "divide") X(multiply, "multiply")                       \
	X(at, "at") X(back, "back") X(find, "find") X(head, "head") X(head_q, "head?") X(index_q, "index?")    \
	X(length_q, "length?") X(next, "next") X(pick, "pick") X(select, "select") X(skip, "skip")             \
	X(tail, "tail") X(tail_q, "tail?") X(change, "change") X(changed, "changed") X(clear, "clear")         \
	X(cleared, "cleared") X(set_path, "set-path") X(append, "append") X(appended, "appended")              \
	X(poke, "poke") X(poked, "poked") X(put, "put") X(put_ed, "put-ed") X(removed, "removed")              \
	X(random, "random") X(randomized, "randomized") X(reverse, "reverse") X(reversed, "reversed")          \
	X(sort, "sort") X(sorted, "sorted") X(swap, "swap") X(swaped, "swaped") X(take, "take")                \
	X(taken, "taken") X(move, "move") X(moved, "moved") X(trim, "trim") X(trimmed, "trimmed")              \
	X(inserted, "inserted") X(uppercase, "uppercase") X(lowercase, "lowercase") X(checksum, "checksum")    \
	X(on_parse_event, "on-parse-event") X(on_change, "on-change*") X(on_deep_change, "on-deep-change*")    \
	X(type, "type") X(id, "id") X(try, "try") X(catch, "catch") X(name, "name") X(local, "local")          \
	X(browse, "browse") X(open, "open") X(create, "create") X(close, "close") X(delete, "delete")           \
	X(modify, "modify") X(query, "query") X(read, "read") X(rename, "rename") X(update, "update")          \
	X(write, "write")                                                                                        \
	X(prescan, "prescan") X(scan, "scan") X(load, "load") X(error, "error") X(comment, "comment")          \
	X(init, "init") X(exec, "exec") X(call, "call") X(return, "return") X(enter, "enter") X(exit, "exit") \
	X(prolog, "prolog") X(epilog, "epilog") X(throw, "throw") X(expr, "expr")                               \
	X(note, "note") X(syntax, "syntax") X(script, "script") X(math, "math") X(access, "access")             \
	X(user, "user") X(internal, "internal") X(invalid_error, "invalid-error")

// X(identifier, "name"): unbound refinements kept in `r_<name>`.
#define VYN_PREDEFINED_REFINEMENTS(X) \
	X(local, "local") X(extern, "extern") X(compare, "compare") X(part, "part") X(skip, "skip") X(with, "with")

namespace vyn::words {

#define VYN_DECLARE_SYMBOL(id, text) extern uint32_t sym_##id;
#define VYN_DECLARE_WORD(id, text) \
	extern uint32_t sym_##id;      \
	extern Cell* w_##id;
#define VYN_DECLARE_REFINEMENT(id, text) extern Cell* r_##id;
VYN_PREDEFINED_SYMBOLS(VYN_DECLARE_SYMBOL)
VYN_PREDEFINED_WORDS(VYN_DECLARE_WORD)
VYN_PREDEFINED_REFINEMENTS(VYN_DECLARE_REFINEMENT)
#undef VYN_DECLARE_SYMBOL
#undef VYN_DECLARE_WORD
#undef VYN_DECLARE_REFINEMENT

extern Cell* issue_ooo;

// The fixed buffer holding the word, refinement and issue cells above.
extern Node block;

// Makes the predefined symbols and words (after the symbol table and the
// global context exist).
void init();
// Makes the predefined refinements, unbound, appended to the root block.
void init_refinements();
// Makes the issue "ooo", appended to the root block while starting.
void init_ooo();

}  // namespace vyn::words

namespace vyn::typereg {

// Makes the global word of every registered type name and records its symbol
// in the type-name table.
void make_type_words();

}  // namespace vyn::typereg
