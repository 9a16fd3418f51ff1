// The natives that reach outside the evaluator: wait, checksum, the
// environment, now, call, browse, compress, decompress, size?, recycle and
// stats.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cmath>
#include <optional>
#include <string>
#include <thread>

#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/constants.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/file.h"
#include "runtime/datatypes/spans.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/time.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/memory_stats.h"
#include "runtime/evaluator/natives.h"
#include "runtime/evaluator/stack.h"
#include "runtime/io/checksum.h"
#include "runtime/io/deflate.h"
#include "runtime/io/os_info.h"
#include "runtime/io/process.h"
#include "runtime/io/simple_io.h"
#include "runtime/platform.h"
#include "runtime/symbol.h"
#include "runtime/utf8.h"
#include "runtime/words.h"

extern char** environ;

namespace vyn::natives {

namespace {

inline Cell* args() { return stack::arguments; }
inline void answer(const Cell* v) { stack::set_result(v); }
inline void answer_integer(int32_t n) {
	Cell r;
	cell::make_integer(&r, n);
	answer(&r);
}

// A count that may pass the integer range: a float! past it.
void answer_count(uint64_t n) {
	Cell r;
	if (n > 0x7FFFFFFF) cell::make_float(&r, double(n));
	else cell::make_integer(&r, int32_t(n));
	answer(&r);
}

// The bytes of data: a binary! from its position, a text as UTF-8 (in the
// value's scratch buffer, which stays put until the next conversion).
spans::Bytes data_bytes(Cell* value) {
	if (cell::is(value, T_BINARY)) return spans::bytes_of(value);
	int32_t count = -1;
	const uint8_t* bytes = unicode::to_utf8(value, &count);
	return {bytes, uint32_t(count)};
}

// A new binary! holding a copy of the bytes.
Cell* binary_of(Cell* out, const uint8_t* bytes, size_t count) { return simple_io::load_binary(bytes, count, out); }

// ---- wait ----

void n_wait(bool, const int32_t*) {
	const Cell* v = args();
	double seconds;
	switch (cell::type_of(v)) {
	case T_INTEGER: seconds = cell::get_integer(v); break;
	case T_FLOAT:
	case T_TIME: seconds = cell::get_double(v); break;
	default: errors::fire(errors::id::script_invalid_arg, v);
	}
	answer(&constants::none_cell);
	platform::wait(seconds);
	if (platform::after_wait) platform::after_wait();
}

// ---- checksum ----

void n_checksum(bool, const int32_t* refs) {
	Cell data = args()[0];
	const Cell* method_word = args() + 1;
	const Cell* spec = refs[0] >= 0 ? args() + refs[0] : nullptr;
	Cell* kept = stack::alloc_slot();
	switch (cell::type_of(&data)) {
	case T_FILE:
		// The file's raw bytes, whatever they hold.
		simple_io::read(&data, nullptr, nullptr, true, false, kept);
		data = *kept;
		break;
	case T_STRING:
	case T_BINARY: break;
	default: errors::fire(errors::id::script_invalid_arg, &data);
	}
	using checksum::Method;
	Method method = checksum::method_of(symbol::name(method_word->data2));
	if (method == Method::none) errors::fire(errors::id::script_invalid_arg, method_word);
	bool sum = method == Method::crc32 || method == Method::tcp || method == Method::adler32;
	if (sum && spec) errors::fire(errors::id::script_invalid_refine_arg, words::r_with, spec);
	if (spec && cell::is(spec, T_INTEGER)) errors::fire(errors::id::internal_not_done);
	if (method == Method::hash) errors::fire(errors::id::script_invalid_refine_arg, words::r_with, spec);
	spans::Bytes in = data_bytes(&data);
	if (sum) {
		uint32_t n = method == Method::crc32 ? checksum::crc32(in.head, in.count)
			: method == Method::tcp ? checksum::tcp(in.head, in.count)
									: checksum::adler32(in.head, in.count);
		return answer_integer(int32_t(n));
	}
	uint8_t digest[checksum::DIGEST_ROOM];
	size_t size;
	if (spec) {
		Type t = cell::type_of(spec);
		if (t != T_STRING && t != T_BINARY && !spans::is_any_string(t)) errors::fire(errors::id::script_invalid_arg, spec);
		Cell key = *spec;
		spans::Bytes k = data_bytes(&key);
		size = checksum::hmac(in.head, in.count, k.head, k.count, method, digest);
	} else {
		int index = checksum::method_index(method);
		checksum::crypto_hash(in.head, in.count, index, digest);
		size = checksum::digest_size(index);
	}
	answer(binary_of(kept, digest, size));
}

// ---- environment ----

// The variable name: a text from its position, or a word's name.
std::string env_name(Cell* var) {
	if (word::is_any_word(cell::type_of(var))) return std::string(symbol::name(var->data2));
	return simple_io::utf8_text(var);
}

void n_set_env(bool, const int32_t*) {
	std::string name = env_name(args());
	Cell value = args()[1];
	bool done = cell::is(&value, T_NONE) ? platform::unset_env(name.c_str())
										 : platform::set_env(name.c_str(), simple_io::utf8_text(&value).c_str());
	if (!done) errors::fire(errors::id::script_invalid_arg, args());
	answer(&value);
}

void n_get_env(bool, const int32_t*) {
	std::string name = env_name(args());
	std::optional<std::string> value = platform::get_env(name.c_str());
	if (!value) return answer(&constants::none_cell);
	// A variable set to nothing is "" (it exists), not none.
	Cell* out = stack::alloc_slot();
	simple_io::load_lenient_text(*value, out);
	answer(out);
}

void n_list_env(bool, const int32_t*) {
	Cell* out = stack::alloc_slot();
	answer(platform::load_environment(out));
}

// ---- now ----

void n_now(bool, const int32_t* refs) {
	enum { YEAR, MONTH, DAY, TIME, ZONE, DATE, WEEKDAY, YEARDAY, PRECISE, UTC };
	int used = 0;
	for (int i = YEAR; i <= PRECISE; i++) used += refs[i] >= 0;
	if (used > 1 && !(refs[TIME] >= 0 && refs[PRECISE] >= 0)) errors::fire(errors::id::script_bad_refines);
	// One clock reading gives the date, the time and the zone.
	timespec clock = platform::read_clock();
	uint32_t zone = refs[UTC] >= 0 ? 0 : platform::date_of(clock, false) & date::ZONE_BITS;
	int64_t local = int64_t(clock.tv_sec) + date::zone_seconds(zone);
	int64_t days = local / 86400 - (local % 86400 < 0);
	double time_of_day = double(local - days * 86400);
	if (refs[PRECISE] >= 0) time_of_day += double(clock.tv_nsec) / 1e9;
	Cell* now = stack::alloc_slot();
	date::rebuild(now, date::day_number(1970, 1, 1) + days, time_of_day - date::zone_seconds(zone), date::TIME_FLAG | zone);
	static constexpr struct {
		int refinement;
		date::Field field;
	} fields[] = {{YEAR, date::F_YEAR}, {MONTH, date::F_MONTH}, {DAY, date::F_DAY}, {ZONE, date::F_ZONE},
		{TIME, date::F_TIME}, {DATE, date::F_DATE}, {WEEKDAY, date::F_WEEKDAY}, {YEARDAY, date::F_YEARDAY}};
	for (auto f : fields)
		if (refs[f.refinement] >= 0) return answer(date::get_field(now, f.field, now));
	answer(now);
}

// ---- processes ----

void n_call(bool, const int32_t* refs) {
	Cell command = args()[0];
	if (spans::units_of(&command).count == 0) return answer_integer(0);
	auto cell_at = [&](int32_t ref) { return ref >= 0 ? args() + ref : nullptr; };
	int32_t r = call::run_process(&command, refs[0] >= 0, refs[1] >= 0, refs[2] >= 0, refs[3] >= 0, cell_at(refs[4]),
		cell_at(refs[5]), cell_at(refs[6]));
	answer_integer(r);
}

// Hands the text to the desktop's opener (xdg-open) without a shell, so no
// character of it is interpreted; a missing opener fails quietly.
void n_browse(bool, const int32_t*) {
	Cell target = args()[0];
	std::string text;
	if (cell::is(&target, T_FILE)) {
		Cell* local = stack::alloc_slot();
		string::make_at(local, spans::units_of(&target).count);
		file::path_to_local(&target, local, false);
		text = simple_io::utf8_text(local);
	} else {
		text = simple_io::utf8_text(&target);
	}
	posix_spawn_file_actions_t actions;
	posix_spawn_file_actions_init(&actions);
	posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
	posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
	char opener[] = "xdg-open";
	char* argv[] = {opener, text.data(), nullptr};
	pid_t pid;
	if (posix_spawnp(&pid, opener, &actions, nullptr, argv, environ) == 0) {
		std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
	}
	posix_spawn_file_actions_destroy(&actions);
	answer(&constants::unset_cell);
}

// ---- compression ----

enum class Framing { zlib, deflate, gzip };

Framing framing_of(const Cell* method) {
	std::string_view name = symbol::name(method->data2);
	auto is = [&](std::string_view w) {
		if (name.size() != w.size()) return false;
		for (size_t i = 0; i < w.size(); i++)
			if ((name[i] | 0x20) != w[i]) return false;
		return true;
	};
	if (is("zlib")) return Framing::zlib;
	if (is("deflate")) return Framing::deflate;
	if (is("gzip")) return Framing::gzip;
	errors::fire(errors::id::script_invalid_arg, method);
}

using Coder = int (*)(uint8_t*, uint32_t&, const uint8_t*, size_t);

// Runs a coder into a new binary of `room` bytes, once more with the room it
// asks for; anything else than success raises invalid-data naming the method.
Cell* code_into(Cell* out, Coder coder, uint32_t room, spans::Bytes in, const Cell* method) {
	for (int attempt = 0; attempt < 2; attempt++) {
		Node node = memory::alloc_bytes(room);
		Series* s = memory::series(node);
		uint32_t given = room;
		int r = coder(s->head_ptr(), room, in.head, in.count);
		if (r == deflate::DONE) {
			s->tail = s->head + room;
			cell::set(out, T_BINARY, 0, node, 0);
			return out;
		}
		if (r != deflate::ROOM || room <= given) break;
	}
	errors::fire(errors::id::script_invalid_data, method);
}

void n_compress(bool, const int32_t*) {
	Cell data = args()[0];
	Framing f = framing_of(args() + 1);
	spans::Bytes in = data_bytes(&data);
	if (in.count > 0xFFFFFFFFu - 32) errors::fire(errors::id::internal_no_memory);
	Coder coder = f == Framing::zlib ? deflate::zlib_compress
		: f == Framing::deflate     ? deflate::compress
									: deflate::gzip_compress;
	answer(code_into(stack::alloc_slot(), coder, in.count + 32, in, args() + 1));
}

void n_decompress(bool, const int32_t* refs) {
	Cell data = args()[0];
	Framing f = framing_of(args() + 1);
	int64_t size = 0;
	if (refs[0] >= 0) {
		const Cell* sz = args() + refs[0];
		size = cell::get_integer(sz);
		if (size < 0) errors::fire(errors::id::script_invalid_arg, sz);
	}
	spans::Bytes in = spans::bytes_of(&data);
	Coder coder = f == Framing::zlib ? deflate::zlib_uncompress
		: f == Framing::deflate     ? deflate::uncompress
									: deflate::gzip_uncompress;
	uint32_t room = uint32_t(size);
	// The sizing pass decodes the input (never trusting a stored size).
	if (f == Framing::gzip || in.count >= uint64_t(size)) {
		room = 0;
		int r = coder(nullptr, room, in.head, in.count);
		if (r != deflate::DONE && r != deflate::ROOM) errors::fire(errors::id::script_invalid_data, args() + 1);
	}
	answer(code_into(stack::alloc_slot(), coder, room, in, args() + 1));
}

// ---- files ----

void n_size_q(bool, const int32_t*) {
	Cell file = args()[0];
	std::optional<int64_t> size = simple_io::size_q(simple_io::utf8_text(&file));
	if (!size || *size < 0) return answer(&constants::none_cell);
	answer_count(uint64_t(*size));
}

// ---- memory ----

void stats_of(bool show, bool info) {
	if (!show && !info) return answer_count(stats::memory(nullptr, 1));
	Cell* report = stack::alloc_slot();
	block::make_at(report, 5);
	stats::memory(report, 2);
	if (!show) return answer(report);
	// [show-memory-stats report]: the library prints it.
	Cell* call = stack::alloc_slot();
	block::make_at(call, 2);
	word::make_in(call, symbol::make("show-memory-stats"));
	*memory::alloc_tail(call) = *report;
	Cell code = *call;
	interpreter::eval(&code, false);
	if (errors::pending) return;
	answer(&constants::unset_cell);
}

void n_stats(bool, const int32_t* refs) { stats_of(refs[0] >= 0, refs[1] >= 0); }

void n_recycle(bool, const int32_t* refs) {
	if (refs[0] >= 0 || refs[1] >= 0) {
		collector::active = refs[0] >= 0;
		return answer(&constants::unset_cell);
	}
	collector::run();
	stats_of(false, false);
}

}  // namespace

void register_system() {
	set(N_WAIT, n_wait);
	set(N_CHECKSUM, n_checksum);
	set(N_SET_ENV, n_set_env);
	set(N_GET_ENV, n_get_env);
	set(N_LIST_ENV, n_list_env);
	set(N_NOW, n_now);
	set(N_CALL, n_call);
	set(N_BROWSE, n_browse);
	set(N_COMPRESS, n_compress);
	set(N_DECOMPRESS, n_decompress);
	set(N_SIZE_Q, n_size_q);
	set(N_STATS, n_stats);
	set(N_RECYCLE, n_recycle);
}

}  // namespace vyn::natives
