#include "runtime/io/simple_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/file.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/unicode.h"
#include "runtime/utf8.h"

namespace vyn::simple_io {

namespace {

// Room taken first for a file whose size is not known; it doubles from there.
constexpr size_t UNKNOWN_SIZE_CHUNK = 65536;
// The most one read or write call moves on Linux.
constexpr size_t MAX_TRANSFER = 0x7FFFF000;

// A C string for the system, or false when the path holds a NUL (it would
// name another file).
bool usable(const std::string& path) { return path.find('\0') == std::string::npos; }

// Closes a descriptor when it goes out of scope.
struct Descriptor {
	int fd;
	explicit Descriptor(int f) : fd(f) {}
	Descriptor(const Descriptor&) = delete;
	Descriptor& operator=(const Descriptor&) = delete;
	~Descriptor() {
		if (fd >= 0) close_file(fd);
	}
};

// Reads and drops `count` bytes of a stream that cannot seek; false on a
// read failure. Reaching the end first is no failure.
bool skip_bytes(int fd, uint64_t count) {
	auto scratch = std::make_unique<uint8_t[]>(UNKNOWN_SIZE_CHUNK);
	while (count > 0) {
		size_t chunk = count < UNKNOWN_SIZE_CHUNK ? size_t(count) : UNKNOWN_SIZE_CHUNK;
		int64_t got = read_data(fd, scratch.get(), chunk);
		if (got < 0) return false;
		if (size_t(got) < chunk) return true;
		count -= chunk;
	}
	return true;
}

// Reads a file of known size: one allocation, read until `want` bytes or the
// end (the file may have shrunk meanwhile).
std::optional<size_t> read_known(int fd, uint64_t want, Sink sink) {
	if (want > SIZE_MAX) return std::nullopt;
	uint8_t* area = sink.room(sink.self, 0, size_t(want));
	if (!area) return std::nullopt;
	int64_t got = read_data(fd, area, size_t(want));
	if (got < 0) return std::nullopt;
	return size_t(got);
}

// Reads a stream of unknown size until its end or `limit` bytes, in room
// that doubles.
std::optional<size_t> read_unknown(int fd, uint64_t limit, Sink sink) {
	size_t used = 0;
	size_t room = 0;
	uint8_t* area = nullptr;
	while (used < limit) {
		if (used == room) {
			size_t next = room == 0 ? UNKNOWN_SIZE_CHUNK : room > SIZE_MAX / 2 ? SIZE_MAX : room * 2;
			if (next > limit) next = size_t(limit);
			area = sink.room(sink.self, used, next);
			if (!area) return std::nullopt;
			room = next;
		}
		ssize_t got = ::read(fd, area + used, std::min(room - used, MAX_TRANSFER));
		if (got < 0) {
			if (errno == EINTR) continue;
			return std::nullopt;
		}
		if (got == 0) break;
		used += size_t(got);
	}
	return used;
}

uint8_t* bytes_room(void* self, size_t used, size_t size) {
	Bytes* bytes = static_cast<Bytes*>(self);
	bytes->set_size(used);
	if (!bytes->reserve(size)) return nullptr;
	return bytes->data();
}

// Waits until a non-blocking descriptor takes more bytes.
bool wait_writable(int fd) {
	pollfd p{fd, POLLOUT, 0};
	for (;;) {
		int n = poll(&p, 1, -1);
		if (n > 0) return (p.revents & (POLLERR | POLLNVAL)) == 0;
		if (n < 0 && errno != EINTR) return false;
	}
}

}  // namespace

bool Bytes::reserve(size_t n) {
	if (n <= capacity_) return true;
	void* grown = std::realloc(data_, n);
	if (!grown) return false;
	data_ = static_cast<uint8_t*>(grown);
	capacity_ = n;
	return true;
}

bool Bytes::append(const uint8_t* bytes, size_t n) {
	if (n == 0) return true;
	if (n > SIZE_MAX - size_) return false;
	size_t need = size_ + n;
	if (need > capacity_) {
		size_t next = capacity_ < 64 ? 64 : capacity_;
		while (next < need) next = next > SIZE_MAX / 2 ? need : next * 2;
		if (!reserve(next)) return false;
	}
	std::memcpy(data_ + size_, bytes, n);
	size_ += n;
	return true;
}

Sink sink_of(Bytes& bytes) { return Sink{&bytes, bytes_room}; }

int open_file(const std::string& path, uint32_t mode) {
	if (!usable(path)) return -1;
	if (mode & MODE_READ) {
		int fd;
		do fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
		while (fd < 0 && errno == EINTR);
		if (fd < 0) return -1;
		// A directory opens for reading here, but holds no file's bytes.
		struct stat st;
		if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
			::close(fd);
			return -1;
		}
		return fd;
	}
	int flags = O_WRONLY | O_CREAT | O_CLOEXEC;
	if (mode & MODE_APPEND) flags |= O_APPEND;
	if (!(mode & (MODE_APPEND | MODE_SEEK))) flags |= O_TRUNC;
	int fd;
	do fd = ::open(path.c_str(), flags, 0666);
	while (fd < 0 && errno == EINTR);
	return fd;
}

int64_t file_size_q(int fd) {
	struct stat st;
	if (fstat(fd, &st) != 0) return -1;
	return S_ISREG(st.st_mode) ? int64_t(st.st_size) : 0;
}

bool seek_file(int fd, int64_t offset) { return offset >= 0 && lseek(fd, off_t(offset), SEEK_SET) == off_t(offset); }

int64_t read_data(int fd, uint8_t* buffer, size_t count) {
	size_t done = 0;
	while (done < count) {
		ssize_t got = ::read(fd, buffer + done, std::min(count - done, MAX_TRANSFER));
		if (got < 0) {
			if (errno == EINTR) continue;
			return -1;
		}
		if (got == 0) break;
		done += size_t(got);
	}
	return int64_t(done);
}

bool write_data(int fd, const uint8_t* buffer, size_t count) {
	size_t done = 0;
	while (done < count) {
		ssize_t put = ::write(fd, buffer + done, std::min(count - done, MAX_TRANSFER));
		if (put < 0) {
			if (errno == EINTR) continue;
			if ((errno == EAGAIN || errno == EWOULDBLOCK) && wait_writable(fd)) continue;
			return false;
		}
		if (put == 0) return false;
		done += size_t(put);
	}
	return true;
}

int close_file(int fd) { return ::close(fd); }

std::optional<size_t> read_file(const std::string& path, int64_t part, int64_t seek, Sink sink) {
	Descriptor file(open_file(path, MODE_READ));
	if (file.fd < 0) return std::nullopt;
	int64_t size = file_size_q(file.fd);
	if (size < 0) return std::nullopt;
	if (part == 0) return size_t(0);
	uint64_t limit = part > 0 ? uint64_t(part) : UINT64_MAX;
	if (size > 0) {
		uint64_t start = seek > 0 ? uint64_t(seek) : 0;
		if (start >= uint64_t(size)) return size_t(0);
		if (start > 0 && !seek_file(file.fd, int64_t(start))) return std::nullopt;
		return read_known(file.fd, std::min(uint64_t(size) - start, limit), sink);
	}
	// Size unknown: a pipe, a device, a /proc file, or an empty file.
	if (seek > 0 && lseek(file.fd, off_t(seek), SEEK_SET) != off_t(seek)) {
		if (errno != ESPIPE || !skip_bytes(file.fd, uint64_t(seek))) return std::nullopt;
	}
	return read_unknown(file.fd, limit, sink);
}

std::optional<Bytes> read_file(const std::string& path, int64_t part, int64_t seek) {
	Bytes bytes;
	std::optional<size_t> got = read_file(path, part, seek, sink_of(bytes));
	if (!got) return std::nullopt;
	bytes.set_size(*got);
	return bytes;
}

bool write_file(const std::string& path, const uint8_t* data, size_t size, int64_t seek, bool append) {
	uint32_t mode = MODE_WRITE | (append ? MODE_APPEND : 0) | (seek >= 0 ? MODE_SEEK : 0);
	Descriptor file(open_file(path, mode));
	if (file.fd < 0) return false;
	if (seek > 0 && !append && !seek_file(file.fd, seek)) return false;
	if (!write_data(file.fd, data, size)) return false;
	int fd = file.fd;
	file.fd = -1;
	// A failed close can be the first report of a failed write (NFS, quotas).
	return close_file(fd) == 0;
}

bool write_stdout(const uint8_t* data, size_t size) { return write_data(STDOUT_FILENO, data, size); }

bool dir_q(std::string_view s) {
	if (s.empty()) return false;
	char last = s.back();
	if (last == '/') return true;
	if (last != '.') return false;
	if (s.size() == 1 || s[s.size() - 2] == '/') return true;  // "." or ".../."
	if (s[s.size() - 2] != '.') return false;
	return s.size() == 2 || s[s.size() - 3] == '/';  // ".." or ".../.."
}

std::optional<std::vector<std::string>> read_dir(const std::string& path) {
	if (!usable(path)) return std::nullopt;
	DIR* dir = opendir(path.c_str());
	if (!dir) return std::nullopt;
	std::unique_ptr<DIR, int (*)(DIR*)> owner(dir, closedir);
	std::vector<std::string> names;
	for (;;) {
		errno = 0;
		dirent* entry = readdir(dir);
		if (!entry) {
			if (errno != 0) return std::nullopt;
			break;
		}
		std::string_view name = entry->d_name;
		if (name == "." || name == "..") continue;
		bool sub = entry->d_type == DT_DIR;
		if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
			// A link to a directory lists as one: reading it lists the target.
			struct stat st;
			sub = fstatat(dirfd(dir), entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
		}
		std::string& added = names.emplace_back(name);
		if (sub) added += '/';
	}
	std::sort(names.begin(), names.end());
	return names;
}

bool delete_(const std::string& path) {
	if (!usable(path)) return false;
	return (dir_q(path) ? ::rmdir(path.c_str()) : ::unlink(path.c_str())) == 0;
}

std::optional<FileTime> query(const std::string& path) {
	if (!usable(path)) return std::nullopt;
	struct stat st;
	if (stat(path.c_str(), &st) != 0) return std::nullopt;
	if (!path.empty() && path.back() == '/' && !S_ISDIR(st.st_mode)) return std::nullopt;
	tm parts{};
	time_t seconds = st.st_mtim.tv_sec;
	if (!gmtime_r(&seconds, &parts)) return std::nullopt;
	int32_t ms = int32_t(st.st_mtim.tv_nsec / 1000000);
	return FileTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min,
		parts.tm_sec, ms * 1000000};
}

bool rename(const std::string& from, const std::string& to) {
	if (!usable(from) || !usable(to)) return false;
	if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
	if (errno != EINVAL && errno != ENOSYS) return false;
	// The file system cannot refuse a target by itself: look first.
	struct stat st;
	if (lstat(to.c_str(), &st) == 0 || errno != ENOENT) return false;
	return ::rename(from.c_str(), to.c_str()) == 0;
}

bool make_dir(const std::string& path) { return usable(path) && ::mkdir(path.c_str(), 0777) == 0; }

bool file_exists_q(const std::string& path) {
	struct stat st;
	return usable(path) && stat(path.c_str(), &st) == 0;
}

std::optional<int64_t> size_q(const std::string& path) {
	if (dir_q(path)) return std::nullopt;
	Descriptor file(open_file(path, MODE_READ));
	if (file.fd < 0) return std::nullopt;
	int64_t size = file_size_q(file.fd);
	if (size < 0) return std::nullopt;
	return size;
}

std::vector<Line> split_lines(const uint8_t* bytes, size_t count) {
	std::vector<Line> lines;
	size_t start = count >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF ? 3 : 0;
	while (start < count) {
		const void* lf = std::memchr(bytes + start, '\n', count - start);
		if (!lf) {
			lines.push_back({start, count - start});
			break;
		}
		size_t end = size_t(static_cast<const uint8_t*>(lf) - bytes);
		size_t size = end - start;
		if (size > 0 && bytes[end - 1] == '\r') size--;
		lines.push_back({start, size});
		start = end + 1;
	}
	return lines;
}

std::string utf8_text(Cell* value) {
	Series* s = memory::buffer_of(value);
	uint8_t* head = unicode::unit_at(s, unicode::clamp_head(value));
	std::string text(unicode::utf8_size(head, s->tail_ptr(), s->unit()), '\0');
	unicode::to_utf8_into(value, reinterpret_cast<uint8_t*>(text.data()), -1, false);
	return text;
}

Cell* load_text(const uint8_t* bytes, size_t count, Cell* out) {
	if (count > UINT32_MAX) errors::fire(errors::id::internal_no_memory);
	Node node = unicode::load_utf8_buffer(bytes, uint32_t(count), 0, nullptr, true).node;
	cell::set(out, T_STRING, 0, node, 0);
	return out;
}

Cell* load_binary(const uint8_t* bytes, size_t count, Cell* out) {
	if (count > UINT32_MAX) errors::fire(errors::id::internal_no_memory);
	Node node = memory::alloc_bytes(uint32_t(count));
	Series* s = memory::series(node);
	if (count) std::memcpy(s->head_ptr(), bytes, count);
	s->tail = s->head + uint32_t(count);
	cell::set(out, T_BINARY, 0, node, 0);
	return out;
}

Cell* load_lenient_text(const std::string& bytes, Cell* out) {
	string::make_at(out, uint32_t(bytes.size()));
	const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes.c_str());  // NUL-terminated, as the decoder needs
	const uint8_t* end = p + bytes.size();
	while (p < end) {
		int32_t cp;
		const uint8_t* next = unicode::fast_decode_utf8_char(p, &cp);
		if (cp < 0 || next > end) {
			string::append_char(out, 0xFFFD);
			p++;
		} else {
			string::append_char(out, uint32_t(cp));
			p = next;
		}
	}
	return out;
}

namespace {

// The largest byte series a read fills: the buffer's size is 32-bit.
constexpr size_t MAX_SERIES_BYTES = 0xFFFFFF00u;

// Reads straight into a byte series: no copy between the file and the
// binary! value.
struct SeriesSink {
	Node node = 0;
};

uint8_t* series_room(void* self, size_t used, size_t size) {
	auto* sink = static_cast<SeriesSink*>(self);
	if (size > MAX_SERIES_BYTES) errors::fire(errors::id::internal_no_memory);
	if (!sink->node) {
		sink->node = memory::alloc_bytes(uint32_t(size));
		return memory::series(sink->node)->head_ptr();
	}
	Series* s = memory::series(sink->node);
	if (s->size - s->head >= size) return s->head_ptr();
	s->tail = s->head + uint32_t(used);
	return memory::expand_copy(s, uint32_t(size))->head_ptr();
}

// The integer of a /part or /seek argument, -1 when not given.
int64_t refinement_integer(const char* refinement, const Cell* arg) {
	if (!arg) return -1;
	if (!cell::is(arg, T_INTEGER)) series::refine_error(refinement, arg);
	return cell::get_integer(arg);
}

[[noreturn]] void cannot_open(const Cell* file) {
	Cell none;
	cell::make_none(&none);
	errors::fire(errors::id::access_cannot_open, file ? file : &none);
}

void read_directory(Cell* file, const std::string& path, Cell* out) {
	std::optional<std::vector<std::string>> names = read_dir(path);
	if (!names) cannot_open(file);
	block::make_at(out, int32_t(names->size()));
	for (const std::string& name : *names) {
		Cell entry;
		load_lenient_text(name, &entry);
		cell::set_type(&entry, T_FILE);
		block::append_value(out, &entry);
	}
}

}  // namespace

void lines_to_block(const Bytes& bytes, Cell* out) {
	std::vector<Line> lines = split_lines(bytes.data(), bytes.size());
	block::make_at(out, int32_t(lines.size()));
	for (Line l : lines) {
		Cell line;
		string::make_at(&line, uint32_t(l.size));
		string::append_utf8(&line, bytes.data() + l.start, uint32_t(l.size));
		block::append_value(out, &line);
	}
}

namespace {

// UTF-8 of at most `part` units of a string-family value (all when part is
// not positive).
void text_to_bytes(Cell* text, int32_t part, Bytes& out) {
	uint32_t units = string::vs_length(text);
	if (part > 0 && uint32_t(part) < units) units = uint32_t(part);
	uint8_t* head = string::vs_head(text);
	size_t size = unicode::utf8_size(head, head + size_t(units) * string::width_of(text), string::width_of(text));
	size_t at = out.size();
	if (!out.reserve(at + size)) errors::fire(errors::id::internal_no_memory);
	unicode::to_utf8_into(text, out.data() + at, int32_t(units), false);
	out.set_size(at + size);
}

}  // namespace

void value_to_bytes(Cell* value, int32_t part, Bytes& out) {
	if (cell::is(value, T_BINARY)) {
		Cell v = *value;
		uint32_t length = series::length(&v);
		if (part > 0 && uint32_t(part) < length) length = uint32_t(part);
		if (!out.append(memory::buffer_of(&v)->head_ptr() + v.data1, length)) errors::fire(errors::id::internal_no_memory);
		return;
	}
	if (cell::is(value, T_STRING)) {
		text_to_bytes(value, part, out);
		return;
	}
	Cell formed;
	string::make_at(&formed, 64);
	actions::form(value, &formed, nullptr, 0);
	text_to_bytes(&formed, part, out);
}

void read(Cell* file, const Cell* part, const Cell* seek, bool binary, bool lines, Cell* out) {
	std::string path = utf8_text(file);
	if (dir_q(path)) {
		read_directory(file, path, out);
		return;
	}
	int64_t count = refinement_integer("part", part);
	int64_t offset = refinement_integer("seek", seek);
	if (binary) {
		SeriesSink sink;
		std::optional<size_t> got = read_file(path, count, offset, Sink{&sink, series_room});
		if (!got) cannot_open(file);
		if (!sink.node) sink.node = memory::alloc_bytes(0);
		Series* s = memory::series(sink.node);
		s->tail = s->head + uint32_t(*got);
		cell::set(out, T_BINARY, 0, sink.node, 0);
		return;
	}
	// Text is decoded from a copy on the C heap, refused before it outgrows
	// what a string can hold.
	Bytes bytes;
	Sink capped{&bytes, [](void* self, size_t used, size_t size) {
		if (size > MAX_SERIES_BYTES) errors::fire(errors::id::internal_no_memory);
		return bytes_room(self, used, size);
	}};
	std::optional<size_t> got = read_file(path, count, offset, capped);
	if (!got) cannot_open(file);
	bytes.set_size(*got);
	if (lines)
		lines_to_block(bytes, out);
	else
		load_text(bytes.data(), bytes.size(), out);
}

void write(Cell* file, Cell* data, const Cell* part, const Cell* seek, bool, bool append, bool lines) {
	int64_t count = refinement_integer("part", part);
	int64_t offset = refinement_integer("seek", seek);
	// A negative offset would open the file truncating it: refused before anything opens.
	if (seek && offset < 0) errors::fire(errors::id::script_invalid_arg, seek);
	if (part && count <= 0) return;  // nothing to write: the file is left alone, not truncated
	Bytes bytes;
	const uint8_t* start;
	size_t size;
	if (lines && cell::is(data, T_BLOCK)) {
		Cell b = *data;
		for (Cell* v = block::vs_head(&b); v < block::vs_tail(&b); v++) {
			value_to_bytes(v, -1, bytes);
			bytes.append(NEWLINE);
		}
		start = bytes.data();
		size = bytes.size();
	} else if (cell::is(data, T_BINARY) && !lines) {
		// Written from the value's own buffer, uncopied.
		Cell v = *data;
		size = series::length(&v);
		if (count > 0 && uint64_t(count) < size) size = size_t(count);
		start = memory::buffer_of(&v)->head_ptr() + v.data1;
	} else {
		value_to_bytes(data, int32_t(count), bytes);
		if (lines) bytes.append(NEWLINE);
		start = bytes.data();
		size = bytes.size();
	}
	bool written = file ? write_file(utf8_text(file), start, size, offset, append) : write_stdout(start, size);
	if (!written) cannot_open(file);
}

bool delete_(Cell* file) { return delete_(utf8_text(file)); }

bool rename(Cell* from, Cell* to) { return rename(utf8_text(from), utf8_text(to)); }

void query(Cell* file, Cell* out) {
	std::optional<FileTime> t = query(utf8_text(file));
	if (!t) return cell::make_none(out);
	date::make_at_hms(out, t->year, t->month, t->day, t->hour, t->minute, t->second, t->nanosecond);
}

void init() {
	file::io.read = read;
	file::io.write = write;
	file::io.delete_ = delete_;
	file::io.rename = rename;
	file::io.query = query;
}

}  // namespace vyn::simple_io
