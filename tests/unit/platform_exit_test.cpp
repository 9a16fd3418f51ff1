#include <gtest/gtest.h>

#include <signal.h>

#include <string>

#include "runtime/platform_exit.h"

namespace vyn {
namespace {

TEST(ExitStatus, QuitKeepsTheLowByteButNeverTurnsAFailureIntoSuccess) {
	struct Case {
		int64_t status;
		int exit;
	} cases[] = {
		{0, 0}, {3, 3}, {255, 255}, {256, 255}, {512, 255}, {257, 1}, {-1, 255}, {-2, 254}, {-256, 255},
		{INT32_MIN, 255}, {INT32_MAX, 255},
	};
	for (const Case& c : cases) EXPECT_EQ(platform::quit_status(c.status), c.exit) << c.status;
}

TEST(RuntimeErrors, FaultsMapToTheirRuntimeErrorNumbers) {
	struct Case {
		int signal, code;
		bool guard;
		int error;
	} cases[] = {
		{SIGSEGV, SEGV_ACCERR, false, 1}, {SIGSEGV, SEGV_MAPERR, false, 32}, {SIGSEGV, SEGV_MAPERR, true, 19},
		{SIGSEGV, SI_USER, false, 32},
		{SIGBUS, BUS_ADRALN, false, 2}, {SIGBUS, BUS_ADRERR, false, 27}, {SIGBUS, BUS_OBJERR, false, 28},
		{SIGBUS, BUS_MCEERR_AR, false, 29}, {SIGBUS, BUS_MCEERR_AO, false, 30}, {SIGBUS, SI_USER, false, 34},
		{SIGBUS, BUS_ADRERR, true, 19},
		{SIGFPE, FPE_INTDIV, false, 13}, {SIGFPE, FPE_INTOVF, false, 14}, {SIGFPE, FPE_FLTDIV, false, 7},
		{SIGFPE, FPE_FLTOVF, false, 10}, {SIGFPE, FPE_FLTUND, false, 12}, {SIGFPE, FPE_FLTRES, false, 8},
		{SIGFPE, FPE_FLTINV, false, 9}, {SIGFPE, FPE_FLTSUB, false, 5}, {SIGFPE, SI_USER, false, 33},
		{SIGILL, ILL_ILLOPC, false, 17}, {SIGILL, ILL_PRVOPC, false, 15}, {SIGILL, ILL_BADSTK, false, 19},
		{SIGILL, ILL_ILLOPN, false, 23}, {SIGILL, ILL_ILLADR, false, 24}, {SIGILL, ILL_ILLTRP, false, 25},
		{SIGILL, ILL_COPROC, false, 26}, {SIGILL, ILL_PRVREG, false, 31}, {SIGILL, SI_USER, false, 99},
	};
	for (const Case& c : cases)
		EXPECT_EQ(platform::fault_error(c.signal, c.code, c.guard), c.error) << c.signal << " " << c.code;
}

TEST(RuntimeErrors, EveryNumberHasItsMessage) {
	struct Case {
		int code;
		std::string text;
	} cases[] = {
		{1, "access violation"}, {13, "integer divide by zero"}, {19, "stack error or overflow"},
		{32, "segmentation fault"}, {34, "Bus error"}, {94, "out of memory"}, {95, "no CATCH for THROW"},
		{99, "unknown error"}, {0, "unknown error code!"}, {35, "unknown error code!"}, {254, "unknown error code!"},
	};
	for (const Case& c : cases) EXPECT_EQ(platform::runtime_error_text(c.code), c.text) << c.code;
}

}  // namespace
}  // namespace vyn
