// Facts about the process and the system, for the language: the command
// line, the environment, and the description of the operating system.
//
// Each fact has a reading (from /proc, environ, /etc/os-release, uname) and
// a pure function that turns the raw text into the fact, so the rules can be
// checked on any text.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/cell.h"

namespace vyn::platform {

// The program's arguments, argv as main received it (UTF-8 by convention,
// not checked); kept once at start-up, before anything reads them.
void set_arguments(int argc, const char* const* argv);
// The arguments kept by set_arguments; when none were kept (a test program),
// those of /proc/self/cmdline; empty when that cannot be read.
std::vector<std::string> get_arguments();
// The process's command line as one text: get_arguments joined as
// join_command_line does.
std::string get_command_line();
// Arguments joined by single spaces; an argument that is empty or holds a
// space or a tab is put between double quotes, so that splitting at blanks
// outside quotes gives the arguments back.
std::string join_command_line(const std::vector<std::string>& arguments);

// Every environment variable as (name, value), in the environment's order.
std::vector<std::pair<std::string, std::string>> get_environment();
// Splits an entry at its first "=" that is not its first character (an
// entry starting with "=" keeps it in its name); no such "=": all name.
std::pair<std::string, std::string> split_environment_entry(std::string_view entry);

struct OsInfo {
	std::string name;               // "Debian GNU/Linux 12 (bookworm)"
	std::string arch;               // x86-64, x86-32, ARM, ARM64, IA-64 or Unknown
	std::array<uint8_t, 3> version; // kernel major.minor.patch, each at most 255
	int32_t build;                  // the kernel's build count (#N of its version)
};
OsInfo get_os_info();

// PRETTY_NAME of an os-release text, else NAME, else "" (the caller falls
// back to the kernel's name). Values may be quoted; in double quotes a
// backslash escapes the next character.
std::string os_release_name(std::string_view text);
// The architecture word for a machine name of uname.
std::string arch_name(std::string_view machine);
// The first three numbers of a kernel release ("6.1.0-18-amd64"); missing
// ones are 0, larger ones are held at 255.
std::array<uint8_t, 3> kernel_version(std::string_view release);
// The number after "#" at the start of a kernel version text; 0 without one.
int32_t kernel_build(std::string_view version);

// The value's type id when it is `expected`; else raises script invalid-arg
// naming the value.
Type check_type(const Cell* value, Type expected);

// Values. The command line as a new string! in `out`; arguments that are
// not UTF-8 do not stop the start-up (simple_io::load_lenient_text).
Cell* load_command_line(Cell* out);
// The arguments, the program's name first, as a new block! of string! in
// `out`, each taken as it is (an argument may hold blanks and quotes).
Cell* load_arguments(Cell* out);
// The environment as a new map! of names to values (both string!), in
// `out`; names that match without letter case keep the later value.
Cell* load_environment(Cell* out);

}  // namespace vyn::platform
