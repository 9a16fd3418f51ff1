#include "runtime/io/os_info.h"

#include <sys/utsname.h>

#include <algorithm>
#include <optional>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/map.h"
#include "runtime/errors.h"
#include "runtime/evaluator/stack.h"
#include "runtime/io/simple_io.h"

extern char** environ;

namespace vyn::platform {

namespace {

bool blank(char c) { return c == ' ' || c == '\t'; }

// The value of an os-release line, unquoted.
std::string release_value(std::string_view v) {
	std::string out;
	char quote = 0;
	for (size_t i = 0; i < v.size(); i++) {
		char c = v[i];
		if (quote) {
			if (c == quote) {
				quote = 0;
			} else if (quote == '"' && c == '\\' && i + 1 < v.size()) {
				out += v[++i];
			} else {
				out += c;
			}
		} else if (c == '"' || c == '\'') {
			quote = c;
		} else if (c == '\\' && i + 1 < v.size()) {
			out += v[++i];
		} else {
			out += c;
		}
	}
	while (!out.empty() && blank(out.back())) out.pop_back();
	return out;
}

std::vector<std::string> kept_arguments;
bool arguments_kept = false;

std::optional<std::string> read_text(const char* path) {
	std::optional<simple_io::Bytes> bytes = simple_io::read_file(path);
	if (!bytes) return std::nullopt;
	return std::string(bytes->view());
}

}  // namespace

std::string join_command_line(const std::vector<std::string>& arguments) {
	std::string line;
	for (size_t i = 0; i < arguments.size(); i++) {
		const std::string& a = arguments[i];
		if (i > 0) line += ' ';
		bool quoted = a.empty() || a.find_first_of(" \t") != std::string::npos;
		if (quoted) line += '"';
		line += a;
		if (quoted) line += '"';
	}
	return line;
}

void set_arguments(int argc, const char* const* argv) {
	kept_arguments.clear();
	for (int i = 0; i < argc && argv[i]; i++) kept_arguments.emplace_back(argv[i]);
	arguments_kept = true;
}

std::vector<std::string> get_arguments() {
	if (arguments_kept) return kept_arguments;
	std::optional<std::string> raw = read_text("/proc/self/cmdline");
	if (!raw) return {};
	std::vector<std::string> arguments;
	size_t start = 0;
	while (start < raw->size()) {
		size_t end = raw->find('\0', start);
		if (end == std::string::npos) end = raw->size();
		arguments.emplace_back(raw->substr(start, end - start));
		start = end + 1;
	}
	return arguments;
}

std::string get_command_line() { return join_command_line(get_arguments()); }

std::pair<std::string, std::string> split_environment_entry(std::string_view entry) {
	size_t eq = entry.size() > 1 ? entry.find('=', 1) : std::string_view::npos;
	if (eq == std::string_view::npos) return {std::string(entry), {}};
	return {std::string(entry.substr(0, eq)), std::string(entry.substr(eq + 1))};
}

std::vector<std::pair<std::string, std::string>> get_environment() {
	std::vector<std::pair<std::string, std::string>> variables;
	if (!environ) return variables;
	for (char** entry = environ; *entry; entry++) variables.push_back(split_environment_entry(*entry));
	return variables;
}

std::string os_release_name(std::string_view text) {
	std::string pretty, name;
	while (!text.empty()) {
		size_t end = text.find('\n');
		std::string_view line = text.substr(0, end);
		text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
		while (!line.empty() && blank(line.front())) line.remove_prefix(1);
		if (line.starts_with("PRETTY_NAME=")) pretty = release_value(line.substr(12));
		else if (line.starts_with("NAME=")) name = release_value(line.substr(5));
	}
	return pretty.empty() ? name : pretty;
}

std::string arch_name(std::string_view m) {
	if (m == "x86_64" || m == "amd64") return "x86-64";
	if (m.size() == 4 && m[0] == 'i' && m.substr(2) == "86" && m[1] >= '3' && m[1] <= '6') return "x86-32";
	if (m == "aarch64" || m == "arm64" || m == "aarch64_be") return "ARM64";
	if (m.starts_with("arm")) return "ARM";
	if (m == "ia64") return "IA-64";
	return "Unknown";
}

std::array<uint8_t, 3> kernel_version(std::string_view release) {
	std::array<uint8_t, 3> version{0, 0, 0};
	size_t i = 0;
	for (size_t part = 0; part < 3; part++) {
		if (i >= release.size() || release[i] < '0' || release[i] > '9') break;
		uint32_t n = 0;
		for (; i < release.size() && release[i] >= '0' && release[i] <= '9'; i++) {
			n = n * 10 + uint32_t(release[i] - '0');
			if (n > 255) n = 255;
		}
		version[part] = uint8_t(n);
		if (i >= release.size() || release[i] != '.') break;
		i++;
	}
	return version;
}

int32_t kernel_build(std::string_view version) {
	if (version.empty() || version[0] != '#') return 0;
	int64_t n = 0;
	for (size_t i = 1; i < version.size() && version[i] >= '0' && version[i] <= '9'; i++) {
		n = n * 10 + (version[i] - '0');
		if (n > INT32_MAX) return INT32_MAX;
	}
	return int32_t(n);
}

OsInfo get_os_info() {
	OsInfo info{};
	utsname u{};
	bool known = uname(&u) == 0;
	std::optional<std::string> release = read_text("/etc/os-release");
	if (!release) release = read_text("/usr/lib/os-release");
	if (release) info.name = os_release_name(*release);
	if (info.name.empty()) info.name = known ? u.sysname : "Linux";
	info.arch = arch_name(known ? u.machine : "");
	info.version = known ? kernel_version(u.release) : std::array<uint8_t, 3>{0, 0, 0};
	info.build = known ? kernel_build(u.version) : 0;
	return info;
}

Type check_type(const Cell* value, Type expected) {
	Type type = cell::type_of(value);
	if (type != expected) errors::fire(errors::id::script_invalid_arg, value);
	return type;
}

Cell* load_command_line(Cell* out) { return simple_io::load_lenient_text(get_command_line(), out); }

Cell* load_arguments(Cell* out) {
	std::vector<std::string> arguments = get_arguments();
	Cell* block = block::make_at(stack::alloc_slot(), int32_t(std::max<size_t>(4, arguments.size())));
	for (const std::string& argument : arguments) {
		Cell text;
		block::append_value(block, simple_io::load_lenient_text(argument, &text));
	}
	*out = *block;
	stack::pop(1);
	return out;
}

Cell* load_environment(Cell* out) {
	auto variables = get_environment();
	Cell* pairs = block::make_at(stack::alloc_slot(), int32_t(std::max<size_t>(100, 2 * variables.size())));
	for (const auto& [name, value] : variables) {
		Cell text;
		block::append_value(pairs, simple_io::load_lenient_text(name, &text));
		block::append_value(pairs, simple_io::load_lenient_text(value, &text));
	}
	map::make_at(out, pairs->data2, 0);
	stack::pop(1);
	return out;
}

}  // namespace vyn::platform
