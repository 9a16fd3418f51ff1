#include "runtime/platform_exit.h"

#include <signal.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <new>

#include "runtime/platform.h"

namespace vyn::platform {

namespace {

constexpr size_t ALT_STACK_BYTES = 64 * 1024;
// Faults this close below the stack's low end, or to the faulting stack
// pointer, are the stack running out (the kernel keeps a gap below a
// growing stack, 1 MiB by default).
constexpr uintptr_t GUARD_ZONE = 2 * 1024 * 1024;
constexpr uintptr_t NEAR_STACK_POINTER = 64 * 1024;

uintptr_t main_stack_low = 0;
bool installed = false;

struct Message {
	int code;
	const char* text;
};

const Message MESSAGES[] = {
	{1, "access violation"}, {2, "invalid alignment"}, {3, "breakpoint"}, {4, "single step"},
	{5, "bounds exceeded"}, {6, "float denormal operan"}, {7, "float divide by zero"},
	{8, "float inexact result"}, {9, "float invalid operation"}, {10, "float overflow"},
	{11, "float stack check"}, {12, "float underflow"}, {13, "integer divide by zero"},
	{14, "integer overflow"}, {15, "privileged instruction"}, {16, "invalid virtual address"},
	{17, "illegal instruction"}, {18, "non-continuable exception"}, {19, "stack error or overflow"},
	{20, "invalid disposition"}, {21, "guard page"}, {22, "invalid handle"}, {23, "illegal operand"},
	{24, "illegal addressing mode"}, {25, "illegal trap"}, {26, "coprocessor error"},
	{27, "non-existent physical address"}, {28, "object specific hardware error"},
	{29, "hardware memory error consumed AR"}, {30, "hardware memory error consumed AO"},
	{31, "privileged register"}, {32, "segmentation fault"}, {33, "FPU error"}, {34, "Bus error"},
	{94, "out of memory"}, {95, "no CATCH for THROW"}, {98, "assertion failed"}, {99, "unknown error"},
	{100, "no value matched in CASE"}, {101, "no value matched in SWITCH"},
};

// Async-signal-safe output: plain write(2) of text and numbers.
struct RawLine {
	char text[256];
	size_t used = 0;

	void add(const char* s) {
		while (*s && used < sizeof text) text[used++] = *s++;
	}
	void add_decimal(unsigned n) {
		char digits[12];
		int k = 0;
		do digits[k++] = char('0' + n % 10);
		while ((n /= 10) && k < 12);
		while (k && used < sizeof text) text[used++] = digits[--k];
	}
	void add_hex(uintptr_t n) {
		for (int shift = int(sizeof n * 8) - 4; shift >= 0; shift -= 4)
			if (used < sizeof text) text[used++] = "0123456789ABCDEF"[(n >> shift) & 0xF];
	}
	void write_to(int fd) const {
		size_t done = 0;
		while (done < used) {
			ssize_t n = ::write(fd, text + done, used - done);
			if (n <= 0 && errno != EINTR) return;
			if (n > 0) done += size_t(n);
		}
	}
};

void error_line(RawLine& line, int code) {
	line.add("*** Runtime Error ");
	line.add_decimal(unsigned(code));
	line.add(": ");
	line.add(runtime_error_text(code));
	line.add("\n");
}

uintptr_t instruction_address(const siginfo_t* info, const void* context) {
#if defined(__x86_64__)
	if (context) return uintptr_t(static_cast<const ucontext_t*>(context)->uc_mcontext.gregs[REG_RIP]);
#else
	(void)context;
#endif
	return reinterpret_cast<uintptr_t>(info->si_addr);
}

bool in_stack_guard(const siginfo_t* info, const void* context) {
	uintptr_t addr = reinterpret_cast<uintptr_t>(info->si_addr);
	if (main_stack_low && addr < main_stack_low + NEAR_STACK_POINTER && addr + GUARD_ZONE >= main_stack_low)
		return true;
#if defined(__x86_64__)
	if (context) {
		uintptr_t sp = uintptr_t(static_cast<const ucontext_t*>(context)->uc_mcontext.gregs[REG_RSP]);
		return addr <= sp + NEAR_STACK_POINTER && addr + NEAR_STACK_POINTER >= sp;
	}
#endif
	return false;
}

// Only async-signal-safe calls from here on: no stdio, no allocation.
void on_fault(int signal, siginfo_t* info, void* context) {
	bool guard = (signal == SIGSEGV || signal == SIGBUS) && in_stack_guard(info, context);
	int code = fault_error(signal, info->si_code, guard);
	RawLine line;
	error_line(line, code);
	line.add("*** at: ");
	line.add_hex(instruction_address(info, context));
	line.add("h\n");
	line.write_to(STDERR_FILENO);
	_exit(code);
}

void on_interrupt(int) { _exit(EXIT_INTERRUPTED); }

void on_no_memory() { fatal_error(EXIT_OUT_OF_MEMORY); }

bool install_alt_stack() {
	void* room = mmap(nullptr, ALT_STACK_BYTES, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
	if (room == MAP_FAILED) return false;
	stack_t alt{};
	alt.ss_sp = room;
	alt.ss_size = ALT_STACK_BYTES;
	return sigaltstack(&alt, nullptr) == 0;
}

}  // namespace

const char* runtime_error_text(int code) {
	for (const Message& m : MESSAGES)
		if (m.code == code) return m.text;
	return "unknown error code!";
}

int fault_error(int signal, int si_code, bool stack_guard) {
	switch (signal) {
	case SIGSEGV:
		if (stack_guard) return 19;
		return si_code == SEGV_ACCERR ? 1 : 32;
	case SIGBUS:
		if (stack_guard) return 19;
		switch (si_code) {
		case BUS_ADRALN: return 2;
		case BUS_ADRERR: return 27;
		case BUS_OBJERR: return 28;
		case BUS_MCEERR_AR: return 29;
		case BUS_MCEERR_AO: return 30;
		default: return 34;
		}
	case SIGFPE:
		switch (si_code) {
		case FPE_INTDIV: return 13;
		case FPE_INTOVF: return 14;
		case FPE_FLTDIV: return 7;
		case FPE_FLTOVF: return 10;
		case FPE_FLTUND: return 12;
		case FPE_FLTRES: return 8;
		case FPE_FLTINV: return 9;
		case FPE_FLTSUB: return 5;
		default: return 33;
		}
	case SIGILL:
		switch (si_code) {
		case ILL_ILLOPC: return 17;
		case ILL_ILLOPN: return 23;
		case ILL_ILLADR: return 24;
		case ILL_ILLTRP: return 25;
		case ILL_PRVOPC: return 15;
		case ILL_PRVREG: return 31;
		case ILL_COPROC: return 26;
		case ILL_BADSTK: return 19;
		default: return 99;
		}
	default: return 99;
	}
}

int quit_status(int64_t status) {
	int low = int(uint64_t(status) & 0xFF);
	return status != 0 && low == 0 ? 255 : low;
}

void install_exit_handlers() {
	if (installed) return;
	installed = true;
	size_t stack_size = 0;
	if (!thread_stack(&main_stack_low, &stack_size)) main_stack_low = 0;
	bool alt = install_alt_stack();
	struct sigaction fault {};
	fault.sa_sigaction = on_fault;
	fault.sa_flags = SA_SIGINFO | (alt ? SA_ONSTACK : 0);
	sigemptyset(&fault.sa_mask);
	for (int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL}) sigaction(s, &fault, nullptr);
	struct sigaction interrupt {};
	interrupt.sa_handler = on_interrupt;
	sigemptyset(&interrupt.sa_mask);
	sigaction(SIGINT, &interrupt, nullptr);
	struct sigaction ignore {};
	ignore.sa_handler = SIG_IGN;
	sigemptyset(&ignore.sa_mask);
	sigaction(SIGPIPE, &ignore, nullptr);
	std::set_new_handler(on_no_memory);
}

void fatal_error(int code) {
	flush_stdout();
	RawLine line;
	error_line(line, code);
	line.write_to(STDERR_FILENO);
	_exit(code);
}

void flush_stdout() {
	if (std::fflush(stdout) != 0) check_stdout_error(errno);
}

void check_stdout_error(int error_number) {
	if (error_number == EPIPE) _exit(EXIT_BROKEN_PIPE);
}

}  // namespace vyn::platform
