// The file layer: whole-file reads and writes, directory listing, dates,
// deletion, renaming, directory creation and existence tests, over POSIX.
//
// Paths are UTF-8 POSIX paths, exactly as the file! value spells them; a path
// holding a NUL byte names no file (every operation on it fails). Every file
// is opened with O_CLOEXEC, so children started meanwhile never inherit one.
// Sizes and offsets are 64-bit throughout.
//
// Failures of the lower layer answer false, -1 or an empty optional; the
// value-level operations at the end turn them into access errors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/cell.h"

namespace vyn::simple_io {

// A growable byte buffer on the C heap. Growing keeps the bytes and does not
// zero-fill the new room (whole files pass through here).
class Bytes {
public:
	Bytes() = default;
	Bytes(const Bytes&) = delete;
	Bytes& operator=(const Bytes&) = delete;
	Bytes(Bytes&& other) noexcept { take(other); }
	Bytes& operator=(Bytes&& other) noexcept {
		if (this != &other) {
			std::free(data_);
			take(other);
		}
		return *this;
	}
	~Bytes() { std::free(data_); }

	uint8_t* data() { return data_; }
	const uint8_t* data() const { return data_; }
	size_t size() const { return size_; }
	size_t capacity() const { return capacity_; }
	bool empty() const { return size_ == 0; }
	std::string_view view() const { return {reinterpret_cast<const char*>(data_), size_}; }

	// Room for at least n bytes in all; false when the memory cannot be had.
	bool reserve(size_t n);
	// Sets the size within the capacity.
	void set_size(size_t n) { size_ = n <= capacity_ ? n : capacity_; }
	bool append(const uint8_t* bytes, size_t n);
	bool append(std::string_view text) { return append(reinterpret_cast<const uint8_t*>(text.data()), text.size()); }

private:
	void take(Bytes& other) {
		data_ = other.data_;
		size_ = other.size_;
		capacity_ = other.capacity_;
		other.data_ = nullptr;
		other.size_ = other.capacity_ = 0;
	}
	uint8_t* data_ = nullptr;
	size_t size_ = 0;
	size_t capacity_ = 0;
};

// Where read_file puts the bytes it reads. `room` makes the area hold at
// least `size` bytes in all, keeping its first `used`, and answers the area's
// start (it may have moved), or null when the memory cannot be had.
struct Sink {
	void* self;
	uint8_t* (*room)(void* self, size_t used, size_t size);
};
// A sink filling a Bytes buffer.
Sink sink_of(Bytes& bytes);

// Mode bits of open_file.
constexpr uint32_t MODE_READ = 1;    // an existing file, for reading
constexpr uint32_t MODE_WRITE = 2;   // set by every writer
constexpr uint32_t MODE_APPEND = 4;  // writes go to the end
constexpr uint32_t MODE_SEEK = 8;    // writes at a given offset

// The lower layer, on file descriptors. A read mode opens an existing file
// that is not a directory; a write mode creates the file, truncating it
// unless MODE_APPEND or MODE_SEEK keeps its contents. Answers the descriptor
// or -1.
int open_file(const std::string& path, uint32_t mode);
// Size in bytes of a regular file; 0 for pipes, devices and anything else
// whose size the system does not tell; -1 on failure.
int64_t file_size_q(int fd);
bool seek_file(int fd, int64_t offset);
// Reads up to `count` bytes (fewer only at the end); -1 on failure.
int64_t read_data(int fd, uint8_t* buffer, size_t count);
// Writes all `count` bytes; false on a failed or short write.
bool write_data(int fd, const uint8_t* buffer, size_t count);
int close_file(int fd);

// Reads a file from `seek` (negative: from the start), at most `part` bytes
// (negative: to the end), into `sink`. Files whose size the system reports
// are read with one allocation of that size; others (pipes, /proc files)
// into room that doubles, so nothing is lost. A seek at or past the end
// gives nothing. Answers the bytes read, or nothing when the file cannot be
// opened or read.
std::optional<size_t> read_file(const std::string& path, int64_t part, int64_t seek, Sink sink);
std::optional<Bytes> read_file(const std::string& path, int64_t part = -1, int64_t seek = -1);

// Writes the bytes to the file: at `seek` (negative: no seek), or at its end
// with `append`; without either the file is truncated first. False when it
// cannot be opened or a write fails or falls short.
bool write_file(const std::string& path, const uint8_t* data, size_t size, int64_t seek, bool append);
// Writes the bytes to standard output.
bool write_stdout(const uint8_t* data, size_t size);

// The line separator of written text.
constexpr std::string_view NEWLINE = "\n";

// True when the spelling names a directory, by its text alone: it ends in
// "/", or it is "." or "..", or it ends in "/." or "/..".
bool dir_q(std::string_view spelling);

// The names in a directory, without "." and "..", each subdirectory's with a
// trailing "/", sorted by their bytes (the system's enumeration order is
// arbitrary). Nothing when the directory cannot be listed.
std::optional<std::vector<std::string>> read_dir(const std::string& path);

// Removes an empty directory when the spelling names one (dir_q), else the
// file; true on success.
bool delete_(const std::string& path);

// The time of the last write, in UTC, to the millisecond.
struct FileTime {
	int32_t year;
	int32_t month;   // 1-12
	int32_t day;     // 1-31
	int32_t hour;
	int32_t minute;
	int32_t second;
	int32_t nanosecond;  // milliseconds x 1,000,000
};
// Nothing when the path does not exist, or is spelled as a directory and is
// not one.
std::optional<FileTime> query(const std::string& path);

// Renames or moves; never replaces an existing target. True on success.
bool rename(const std::string& from, const std::string& to);
// Creates one directory; true when it was created.
bool make_dir(const std::string& path);
// True when the path names an existing file or directory.
bool file_exists_q(const std::string& path);
// The size of the file for size?: nothing for a directory spelling, a file
// that cannot be opened, or a failed size query.
std::optional<int64_t> size_q(const std::string& path);

// Where read_lines finds one line: its first byte and its length.
struct Line {
	size_t start;
	size_t size;
};
// Splits bytes at each LF: a CR just before the LF is dropped, an empty line
// gives an empty span, the bytes after the last LF give a last line as they
// are (a CR at the very end stays), a final LF adds no empty line. A leading
// byte-order mark belongs to no line.
std::vector<Line> split_lines(const uint8_t* bytes, size_t count);

// Values. The text of a string-family value from its head, as UTF-8: a
// file! value's path, a string! sent to a child.
std::string utf8_text(Cell* value);
// A new string! in `out` decoded from UTF-8: a leading byte-order mark
// skipped, CR LF and a lone CR read as LF. Raises access invalid-utf8 for
// malformed text and internal no-memory past 4 GB.
Cell* load_text(const uint8_t* bytes, size_t count, Cell* out);
// A new binary! in `out` holding a copy of the bytes; internal no-memory
// past 4 GB.
Cell* load_binary(const uint8_t* bytes, size_t count, Cell* out);
// A new string! of bytes that ought to be UTF-8 but come from the system
// (file names, arguments): each byte of a sequence that is not valid text
// becomes U+FFFD, so one odd name does not stop a listing or the start-up.
Cell* load_lenient_text(const std::string& bytes, Cell* out);
// A new block! in `out` of the lines of UTF-8 bytes (split_lines), each a
// string! of its text as it is: no line-end conversion, and a mark that
// starts a later line is a character of that line.
void lines_to_block(const Bytes& bytes, Cell* out);
// The bytes `write` puts in a file for a value: a string!'s text as UTF-8,
// a binary!'s bytes, any other value formed; at most `part` characters or
// bytes when part is positive.
void value_to_bytes(Cell* value, int32_t part, Bytes& out);

// The file! actions' workers (file::io). `part` and `seek` are integer!
// cells or null; another value raises script invalid-refine-arg.
// read: a directory spelling lists the directory (a block of file!);
// otherwise a string!, a binary! or a block of line strings. A file that
// cannot be read raises access cannot-open naming it.
void read(Cell* file, const Cell* part, const Cell* seek, bool binary, bool lines, Cell* out);
// write: to the file, or to standard output when `file` is null. A part of
// 0 or less writes nothing. With `lines` each value of a block is written on
// a line of its own, any other value on one line. Raises access cannot-open
// naming the file when it cannot be opened or a write fails.
void write(Cell* file, Cell* data, const Cell* part, const Cell* seek, bool binary, bool append, bool lines);
bool delete_(Cell* file);
bool rename(Cell* from, Cell* to);
// Installs the workers above in file::io.
void init();

}  // namespace vyn::simple_io
