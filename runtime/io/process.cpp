#include "runtime/io/process.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <mutex>
#include <system_error>
#include <thread>

#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/utf8.h"

extern char** environ;

namespace vyn::call {

namespace {

constexpr size_t CAPTURE_START = 4096;  // capture room; it doubles when full
constexpr size_t INPUT_CHUNK = 65536;   // bytes offered to the child per write
const char* const SHELL = "/bin/sh";

// Owns one descriptor.
struct Fd {
	int fd = -1;
	Fd() = default;
	explicit Fd(int f) : fd(f) {}
	Fd(const Fd&) = delete;
	Fd& operator=(const Fd&) = delete;
	~Fd() { reset(); }
	void reset() {
		if (fd >= 0) ::close(fd);
		fd = -1;
	}
};

// A pipe whose parent end is non-blocking; both ends close on exec (the
// child's end is dup2'ed onto its standard stream, which clears that).
struct Pipe {
	Fd parent, child;
};

bool make_pipe(Pipe& p, bool parent_writes) {
	int ends[2];
	if (pipe2(ends, O_CLOEXEC) != 0) return false;
	p.parent.fd = parent_writes ? ends[1] : ends[0];
	p.child.fd = parent_writes ? ends[0] : ends[1];
	return fcntl(p.parent.fd, F_SETFL, O_NONBLOCK) == 0;
}

int open_append(const std::string& path) {
	if (path.find('\0') != std::string::npos) return -1;
	int fd;
	do fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
	while (fd < 0 && errno == EINTR);
	return fd;
}

// Children nobody waits for: each is reaped by a thread of its own; those
// whose thread could not be started wait here for the next run.
std::mutex orphans_lock;
std::vector<pid_t> orphans;

void wait_for(pid_t pid) {
	int status;
	while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
	}
}

void reap_later(pid_t pid) {
	try {
		std::thread(wait_for, pid).detach();
	} catch (const std::system_error&) {
		std::lock_guard<std::mutex> hold(orphans_lock);
		orphans.push_back(pid);
	}
}

void reap_orphans() {
	std::lock_guard<std::mutex> hold(orphans_lock);
	std::erase_if(orphans, [](pid_t pid) {
		int status;
		return waitpid(pid, &status, WNOHANG) != 0;  // ended, or not ours any more
	});
}

int32_t exit_code(int status) {
	if (WIFEXITED(status)) return WEXITSTATUS(status);
	if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
	return -1;
}

// Blocks SIGPIPE in this thread while the child's input is written: a write
// to a pipe the child closed fails with EPIPE instead of ending the process.
// A signal that write raised is taken back before the mask is restored.
class PipeSignalBlock {
public:
	PipeSignalBlock() {
		sigemptyset(&pipe_);
		sigaddset(&pipe_, SIGPIPE);
		pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
		was_pending_ = pending();
	}
	~PipeSignalBlock() {
		if (!was_pending_ && pending()) {
			timespec none{0, 0};
			sigtimedwait(&pipe_, nullptr, &none);
		}
		pthread_sigmask(SIG_SETMASK, &old_, nullptr);
	}

private:
	bool pending() const {
		sigset_t set;
		sigpending(&set);
		return sigismember(&set, SIGPIPE) == 1;
	}
	sigset_t pipe_, old_;
	bool was_pending_;
};

// Spawn attributes: the child starts with no signal blocked and SIGPIPE at
// its default, whatever the runtime does with them.
struct SpawnSetup {
	posix_spawn_file_actions_t actions;
	posix_spawnattr_t attributes;
	SpawnSetup() {
		posix_spawn_file_actions_init(&actions);
		posix_spawnattr_init(&attributes);
		sigset_t none, defaults;
		sigemptyset(&none);
		sigemptyset(&defaults);
		sigaddset(&defaults, SIGPIPE);
		posix_spawnattr_setsigmask(&attributes, &none);
		posix_spawnattr_setsigdefault(&attributes, &defaults);
		posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
	}
	~SpawnSetup() {
		posix_spawn_file_actions_destroy(&actions);
		posix_spawnattr_destroy(&attributes);
	}
	SpawnSetup(const SpawnSetup&) = delete;
	SpawnSetup& operator=(const SpawnSetup&) = delete;
};

// Starts the command directly or through the shell; answers 0 or the errno.
int spawn(const std::string& command, bool shell, SpawnSetup& setup, pid_t* pid) {
	std::vector<std::string> words;
	if (shell) {
		words = {"sh", "-c", command};
	} else {
		words = split_command(command);
		if (words.empty()) return ENOENT;  // no program named
	}
	std::vector<char*> argv;
	for (std::string& w : words) argv.push_back(w.data());
	argv.push_back(nullptr);
	if (shell) return posix_spawn(pid, SHELL, &setup.actions, &setup.attributes, argv.data(), environ);
	return posix_spawnp(pid, argv[0], &setup.actions, &setup.attributes, argv.data(), environ);
}

// Room for one more read into a capture; false when memory ran out.
bool capture_room(simple_io::Bytes& into) {
	if (into.size() < into.capacity()) return true;
	size_t next = into.capacity() < CAPTURE_START ? CAPTURE_START : into.capacity() * 2;
	return into.reserve(next);
}

// Moves the input into the child and its output and error out of it until
// every pipe is closed. False when a capture could not grow.
bool pump(Fd& input, std::string_view bytes, Fd& output, simple_io::Bytes& out, Fd& error, simple_io::Bytes& err) {
	size_t sent = 0;
	bool memory_ok = true;
	if (input.fd >= 0 && bytes.empty()) input.reset();
	while (input.fd >= 0 || output.fd >= 0 || error.fd >= 0) {
		pollfd watch[3];
		Fd* owner[3];
		simple_io::Bytes* target[3] = {nullptr, nullptr, nullptr};
		nfds_t n = 0;
		if (input.fd >= 0) {
			owner[n] = &input;
			watch[n++] = {input.fd, POLLOUT, 0};
		}
		if (output.fd >= 0) {
			owner[n] = &output;
			target[n] = &out;
			watch[n++] = {output.fd, POLLIN, 0};
		}
		if (error.fd >= 0) {
			owner[n] = &error;
			target[n] = &err;
			watch[n++] = {error.fd, POLLIN, 0};
		}
		if (poll(watch, n, -1) < 0) {
			if (errno == EINTR) continue;
			break;
		}
		for (nfds_t i = 0; i < n; i++) {
			if (watch[i].revents == 0) continue;
			Fd& fd = *owner[i];
			if (!target[i]) {  // the input
				size_t chunk = std::min(bytes.size() - sent, INPUT_CHUNK);
				ssize_t put = ::write(fd.fd, bytes.data() + sent, chunk);
				if (put > 0) sent += size_t(put);
				if ((put < 0 && errno != EAGAIN && errno != EINTR) || sent == bytes.size()) fd.reset();
				continue;
			}
			simple_io::Bytes& into = *target[i];
			if (!capture_room(into)) {
				memory_ok = false;
				fd.reset();  // the child's further writes fail; it is not left blocked
				continue;
			}
			ssize_t got = ::read(fd.fd, into.data() + into.size(), into.capacity() - into.size());
			if (got > 0) into.set_size(into.size() + size_t(got));
			if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) fd.reset();
		}
	}
	return memory_ok;
}

}  // namespace

std::vector<std::string> split_command(std::string_view s) {
	std::vector<std::string> words;
	size_t i = 0;
	while (i < s.size()) {
		while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r')) i++;
		if (i == s.size()) break;
		std::string word;
		while (i < s.size() && s[i] != ' ' && s[i] != '\t' && s[i] != '\n' && s[i] != '\r') {
			char c = s[i++];
			if (c == '\'') {
				while (i < s.size() && s[i] != '\'') word += s[i++];
				i++;  // the closing quote, when there is one
			} else if (c == '"') {
				while (i < s.size() && s[i] != '"') {
					if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == '"' || s[i + 1] == '\\')) i++;
					word += s[i++];
				}
				i++;
			} else if (c == '\\' && i < s.size()) {
				word += s[i++];
			} else {
				word += c;
			}
		}
		words.push_back(std::move(word));
	}
	return words;
}

Outcome run_process(const Request& r) {
	if (r.console) errors::fire(errors::id::internal_not_done);
	reap_orphans();
	Outcome outcome;
	if (r.command.find('\0') != std::string::npos) return outcome;  // it would run another command

	Fd null_device(::open("/dev/null", O_WRONLY | O_CLOEXEC));
	if (null_device.fd < 0) return outcome;
	Fd input_file, output_file, error_file;
	Pipe input_pipe, output_pipe, error_pipe;
	if (r.input.kind == Redirect::FILE) {
		input_file.fd = simple_io::open_file(r.input.path, simple_io::MODE_READ);
		if (input_file.fd < 0) return outcome;
	} else if (r.input.kind == Redirect::BYTES && !make_pipe(input_pipe, true)) {
		return outcome;
	}
	struct Target {
		const Redirect& redirect;
		Fd& file;
		Pipe& pipe;
	} targets[2] = {{r.output, output_file, output_pipe}, {r.error, error_file, error_pipe}};
	for (Target& t : targets) {
		if (t.redirect.kind == Redirect::FILE) {
			t.file.fd = open_append(t.redirect.path);
			if (t.file.fd < 0) return outcome;
		} else if (t.redirect.kind == Redirect::BYTES && !make_pipe(t.pipe, false)) {
			return outcome;
		}
	}

	SpawnSetup setup;
	int in = input_file.fd >= 0 ? input_file.fd : input_pipe.child.fd;
	int out = output_file.fd >= 0 ? output_file.fd : output_pipe.child.fd >= 0 ? output_pipe.child.fd : null_device.fd;
	int err = error_file.fd >= 0 ? error_file.fd : error_pipe.child.fd >= 0 ? error_pipe.child.fd : null_device.fd;
	if (in >= 0) posix_spawn_file_actions_adddup2(&setup.actions, in, STDIN_FILENO);
	posix_spawn_file_actions_adddup2(&setup.actions, out, STDOUT_FILENO);
	posix_spawn_file_actions_adddup2(&setup.actions, err, STDERR_FILENO);

	pid_t pid;
	outcome.shell = r.shell;
	int failure = spawn(r.command, r.shell, setup, &pid);
	if (failure == ENOENT && !r.shell) {
		outcome.shell = true;
		failure = spawn(r.command, true, setup, &pid);
	}
	if (failure != 0) return outcome;

	// The child holds its ends now; ours must close for the pipes to end.
	input_file.reset();
	output_file.reset();
	error_file.reset();
	input_pipe.child.reset();
	output_pipe.child.reset();
	error_pipe.child.reset();
	null_device.reset();

	bool redirected = r.input.kind != Redirect::NONE || r.output.kind != Redirect::NONE || r.error.kind != Redirect::NONE;
	if (!r.wait && !redirected) {
		reap_later(pid);
		outcome.answer = int32_t(pid);
		return outcome;
	}
	bool memory_ok;
	{
		PipeSignalBlock block;
		memory_ok = pump(input_pipe.parent, r.input.bytes, output_pipe.parent, outcome.output, error_pipe.parent,
			outcome.error);
	}
	int status = 0;
	pid_t waited;
	do waited = waitpid(pid, &status, 0);
	while (waited < 0 && errno == EINTR);
	if (!memory_ok) errors::fire(errors::id::internal_no_memory);
	outcome.answer = waited == pid ? exit_code(status) : -1;
	return outcome;
}

namespace {

// Fills a redirection from a cell (null: none). A file! names a file; the
// bytes of a string! or binary! input go to `bytes`, which must outlive the
// run.
void redirect_of(Cell* value, Redirect& r, simple_io::Bytes* bytes) {
	if (!value) return;
	if (cell::is(value, T_FILE)) {
		r.kind = Redirect::FILE;
		r.path = simple_io::utf8_text(value);
		return;
	}
	r.kind = Redirect::BYTES;
	if (bytes) {
		simple_io::value_to_bytes(value, -1, *bytes);
		r.bytes = bytes->view();
	}
}

// A binary! target takes the raw bytes at its position; a string! target
// the text at its tail.
void deliver(Cell* target, const simple_io::Bytes& captured) {
	if (!target || captured.empty()) return;
	if (cell::is(target, T_BINARY)) {
		Cell bytes;
		simple_io::load_binary(captured.data(), captured.size(), &bytes);
		string::concatenate(target, &bytes, -1, 0, string::INSERT);
	} else if (cell::is(target, T_STRING)) {
		Cell text;
		simple_io::load_text(captured.data(), captured.size(), &text);
		string::append_string(target, &text, -1);
	}
}

}  // namespace

int32_t run_process(Cell* command, bool wait, bool show, bool console, bool shell, Cell* input, Cell* output,
	Cell* error) {
	Request r;
	r.command = simple_io::utf8_text(command);
	r.wait = wait;
	r.show = show;
	r.console = console;
	r.shell = shell;
	simple_io::Bytes input_bytes;
	redirect_of(input, r.input, &input_bytes);
	redirect_of(output, r.output, nullptr);
	redirect_of(error, r.error, nullptr);
	Outcome outcome = run_process(r);
	deliver(output, outcome.output);
	deliver(error, outcome.error);
	return outcome.answer;
}

}  // namespace vyn::call
