#include "runtime/memory.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "runtime/errors.h"

namespace vyn::memory {

State state;
Series** node_table = nullptr;
NodeFrame* node_frames = nullptr;
uint32_t node_frame_count = 0;
bool collection_requested = false;
uint32_t collection_count = 0;
uint32_t handle_epoch = 0;
uint32_t nodes_cycles = 0;
bool collecting = false;
bool node_compaction = true;
uint32_t fixed_count = 0;
uint64_t fixed_bytes = 0;
Cell* boot_base = nullptr;

namespace {

constexpr size_t PAGE = 4096;
// The node table is one reservation; frames commit their pages on first use.
constexpr uint32_t MAX_NODE_FRAMES = 6000;
constexpr size_t NODE_TABLE_SLOTS = size_t(MAX_NODE_FRAMES) * NODE_FRAME_NODES + 1;
constexpr size_t VIRTUAL_PREFIX = 16;  // the size word, padded to keep alignment

// C-heap buffers, kept for free_all; never destroyed, so they stay reachable at exit.
std::vector<void*>& fixed_blocks = *new std::vector<void*>;

[[noreturn]] void no_memory() { errors::fire(errors::id::internal_no_memory); }

// Bytes the page source mapped for a big frame, its prefix included.
uint64_t mapped_bytes(BigFrame* f) {
	return *reinterpret_cast<uint64_t*>(reinterpret_cast<uint8_t*>(f) - VIRTUAL_PREFIX);
}

inline Series* free_link(Node next) { return reinterpret_cast<Series*>((uintptr_t(next) << 1) | 1); }
inline Node free_next(const Series* slot) { return Node(reinterpret_cast<uintptr_t>(slot) >> 1); }

void reserve_node_table() {
	size_t bytes = NODE_TABLE_SLOTS * sizeof(Series*);
	void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
	if (p == MAP_FAILED) no_memory();
	node_table = static_cast<Series**>(p);
	node_frames = static_cast<NodeFrame*>(std::calloc(MAX_NODE_FRAMES, sizeof(NodeFrame)));
	if (!node_frames) no_memory();
}

// Series frames are kept in increasing address order.
void link_series_frame(SeriesFrame* f) {
	SeriesFrame* head = state.series_head;
	if (!head) {
		f->next = f->prev = nullptr;
		state.series_head = state.series_tail = state.series_current = f;
		return;
	}
	if (f < head) {
		f->prev = nullptr;
		f->next = head;
		head->prev = f;
		state.series_head = f;
		return;
	}
	if (f > state.series_tail) {
		f->next = nullptr;
		f->prev = state.series_tail;
		state.series_tail->next = f;
		state.series_tail = f;
		return;
	}
	SeriesFrame* above = head;
	while (above < f) above = above->next;
	f->next = above;
	f->prev = above->prev;
	above->prev->next = f;
	above->prev = f;
}

}  // namespace

SeriesFrame* new_series_frame() {
	uint32_t planned = state.series_planned;
	if (planned < state.series_cap) state.series_planned = planned * 2;
	auto* f = static_cast<SeriesFrame*>(alloc_virtual(planned + SeriesFrame::header_bytes));
	f->size = planned + SeriesFrame::header_bytes;
	f->bump = f->start();
	f->end = reinterpret_cast<uint8_t*>(f) + f->size;
	f->idle = 0;
	link_series_frame(f);
	state.frames_made++;
	return f;
}

void retire_series_frame(SeriesFrame* frame) {
	frame->next = state.retired;
	state.retired = frame;
	uint8_t* from = reinterpret_cast<uint8_t*>(frame) - VIRTUAL_PREFIX;
	uint64_t rounded = *reinterpret_cast<uint64_t*>(from);
	// The first page keeps the size word that the release reads: what data
	// it holds is overwritten instead.
	uint8_t* data = frame->start();
	if (data < from + PAGE) std::memset(data, 0xDB, size_t(from + PAGE - data));
	if (rounded > PAGE) mprotect(from + PAGE, rounded - PAGE, PROT_NONE);
}

SeriesFrame* revive_series_frame() {
	SeriesFrame* f = state.retired;
	if (!f) return nullptr;
	state.retired = f->next;
	uint8_t* from = reinterpret_cast<uint8_t*>(f) - VIRTUAL_PREFIX;
	uint64_t rounded = *reinterpret_cast<uint64_t*>(from);
	if (rounded > PAGE) mprotect(from + PAGE, rounded - PAGE, PROT_READ | PROT_WRITE);
	f->bump = f->start();
	link_series_frame(f);
	return f;
}

// Spares beyond this are released at once.
constexpr uint64_t BIG_SPARE_LIMIT = uint64_t(64) << 20;

void spare_big_frame(BigFrame* frame) {
	uint64_t bytes = mapped_bytes(frame);
	if (state.big_spare_bytes + bytes > BIG_SPARE_LIMIT) return free_virtual(frame);
	frame->next = state.big_spare;
	frame->prev = nullptr;
	state.big_spare = frame;
	state.big_spare_bytes += bytes;
}

void release_spare_big_frames() {
	while (BigFrame* f = state.big_spare) {
		state.big_spare = f->next;
		free_virtual(f);
	}
	state.big_spare_bytes = 0;
}

void release_retired_frames() {
	while (SeriesFrame* f = state.retired) {
		state.retired = f->next;
		free_virtual(f);
	}
}

namespace {

inline bool fits(const SeriesFrame* f, size_t block) { return f->bump + block < f->end; }

// Allocations only shrink a frame's room: once a walk found no frame with
// room for a block, none has room for one as large until the next
// collection, and the walk (one step per frame) is skipped.
struct NoRoom {
	size_t from = SIZE_MAX;
	uint32_t cycle = 0;
} no_room;

// A frame is taken up only with some room beyond the block: one whose last
// few bytes are free is passed over for the next, not for a new frame.
SeriesFrame* frame_with_room(size_t block) {
	size_t need = std::max<size_t>(block, SERIES_FRAME_MIN_ROOM);
	bool known = no_room.cycle == collection_count;
	if (known && need >= no_room.from) return nullptr;
	for (SeriesFrame* f = state.series_head; f; f = f->next)
		if (fits(f, need)) return f;
	no_room.from = known ? std::min(no_room.from, need) : need;
	no_room.cycle = collection_count;
	return nullptr;
}

// Room taken since the last collection. A collection is asked for once it
// amounts to what the buffers held after the last one (and to a floor):
// each collection costs as much as the live data, so collecting more often
// while the data grows would cost the square of its size, and a program
// whose live data stays small collects every few megabytes, in frames whose
// pages stay mapped.
constexpr uint64_t GROWTH_FLOOR = 8u << 20;
uint64_t grown = 0;
uint64_t growth_budget = GROWTH_FLOOR;

void note_growth(uint64_t bytes) {
	grown += bytes;
	// No collection can run here: ask for one at the next safe point.
	if (grown >= growth_budget) collection_requested = true;
}

// Takes up another frame for a block the current one has no room for.
[[gnu::noinline]] SeriesFrame* next_frame(size_t block) {
	SeriesFrame* f = frame_with_room(block);
	if (!f) {
		if (block >= state.series_planned) state.series_planned = state.series_cap;
		f = new_series_frame();
	}
	// Counted when taken, so the hot path stays one compare.
	note_growth(size_t(f->end - f->bump));
	state.series_current = f;
	return f;
}

// Allocation is inlined down to the bump and the node list; every way off
// that path is a call, so the common one saves no registers.
[[gnu::always_inline]] inline uint8_t* bump_block(size_t block) {
	SeriesFrame* f = state.series_current;
	if (__builtin_expect(!f || !fits(f, block), false)) f = next_frame(block);
	uint8_t* p = f->bump;
	f->bump += block;
	return p;
}

// The smallest spare frame that holds the block without wasting more than
// the block's size; unlinked from the spares.
BigFrame* take_spare(size_t block) {
	uint64_t need = block + BigFrame::header_bytes + VIRTUAL_PREFIX;
	BigFrame** best = nullptr;
	for (BigFrame** at = &state.big_spare; *at; at = &(*at)->next) {
		uint64_t room = mapped_bytes(*at);
		if (room >= need && room <= 2 * need && (!best || room < mapped_bytes(*best))) best = at;
	}
	if (!best) return nullptr;
	BigFrame* f = *best;
	*best = f->next;
	state.big_spare_bytes -= mapped_bytes(f);
	return f;
}

[[gnu::noinline]] Series* big_block(size_t block) {
	note_growth(block);
	BigFrame* f = take_spare(block);
	if (!f) {
		f = static_cast<BigFrame*>(alloc_virtual(block + BigFrame::header_bytes));
		// Huge pages: filling a fresh buffer of tens of megabytes (a decoded
		// image, a whole file) otherwise takes a page fault every 4 KB, which
		// costs more than the filling itself.
		madvise(reinterpret_cast<uint8_t*>(f) - VIRTUAL_PREFIX, block + BigFrame::header_bytes + VIRTUAL_PREFIX,
			MADV_HUGEPAGE);
	}
	f->size = block;
	f->next = nullptr;
	f->prev = state.big_tail;
	if (state.big_tail)
		state.big_tail->next = f;
	else
		state.big_head = f;
	state.big_tail = f;
	return f->buffer();
}

inline uint32_t rounded_bytes(uint64_t count, uint32_t unit) {
	uint64_t bytes = (count * unit + 15) & ~uint64_t(15);
	if (bytes > 0xFFFFFF00u - SERIES_BLOCK_EXTRA) no_memory();
	return uint32_t(bytes);
}

inline void init_header(Series* s, uint32_t bytes, uint32_t unit, int32_t offset, uint32_t extra_flags) {
	s->size = bytes;
	s->flags = unit | SERIES_USED | SERIES_MADE | extra_flags;
	uint32_t at = 0;
	if (offset == -1) {
		at = bytes / 2;
		s->flags |= SERIES_MIDDLE;
	} else if (offset > 0) {
		at = uint32_t(offset);
	}
	s->head = s->tail = at;
}

// Allocates the buffer alone (no node).
[[gnu::always_inline]] inline Series* alloc_buffer(uint32_t count, uint32_t unit, int32_t offset) {
	uint32_t bytes = rounded_bytes(count, unit);
	size_t block = size_t(bytes) + SERIES_BLOCK_EXTRA;
	Series* s;
	uint32_t big = 0;
	if (__builtin_expect(block >= state.series_cap, false)) {
		s = big_block(block);
		big = SERIES_BIG;
	} else {
		s = reinterpret_cast<Series*>(bump_block(block));
	}
	init_header(s, bytes, unit, offset, big);
	return s;
}

// A node frame with a free node, made current.
[[gnu::noinline]] int32_t next_node_frame() {
	int32_t k = state.node_head;
	while (k >= 0 && (node_frames[k].free_head == 0 || node_frames[k].evacuated)) k = node_frames[k].next;
	if (k < 0) k = new_node_frame(NODE_FRAME_NODES);
	state.node_current = k;
	return k;
}

[[gnu::always_inline]] inline Node take_node() {
	int32_t k = state.node_current;
	if (__builtin_expect(k < 0 || node_frames[k].free_head == 0, false)) k = next_node_frame();
	NodeFrame& f = node_frames[k];
	Node n = f.free_head;
	f.free_head = free_next(node_table[n]);
	node_table[n] = nullptr;
	f.used++;
	return n;
}

[[gnu::always_inline]] inline Node attach_node(Series* s) {
	Node n = take_node();
	node_table[n] = s;
	s->node = n;
	return n;
}

}  // namespace

uint64_t heap_in_use() {
	uint64_t bytes = 0;
	for (SeriesFrame* f = state.series_head; f; f = f->next) bytes += uint64_t(f->bump - f->start());
	for (BigFrame* f = state.big_head; f; f = f->next) bytes += f->size;
	return bytes;
}

void collection_done() {
	handle_epoch++;
	grown = 0;
	growth_budget = std::max<uint64_t>(GROWTH_FLOOR, heap_in_use());
}

void init() {
	handle_epoch++;
	state = State{};
	no_room = NoRoom{};
	grown = 0;
	growth_budget = GROWTH_FLOOR;
	state.node_head = state.node_tail = state.node_current = -1;
	state.series_initial = SERIES_FRAME_INITIAL;
	state.series_planned = SERIES_FRAME_INITIAL;
	state.series_cap = SERIES_FRAME_CAP;
	if (!node_table) reserve_node_table();
	node_frame_count = 0;
	collection_requested = false;
}

void free_all() {
	release_retired_frames();
	release_spare_big_frames();
	for (uint32_t k = 0; k < node_frame_count; k++) node_frames[k].live = false;
	if (node_table) madvise(node_table, NODE_TABLE_SLOTS * sizeof(Series*), MADV_DONTNEED);
	node_frame_count = 0;
	for (SeriesFrame* f = state.series_head; f;) {
		SeriesFrame* next = f->next;
		free_virtual(f);
		f = next;
	}
	for (BigFrame* f = state.big_head; f;) {
		BigFrame* next = f->next;
		free_virtual(f);
		f = next;
	}
	for (void* p : fixed_blocks) std::free(p);
	fixed_blocks.clear();
	fixed_count = 0;
	fixed_bytes = 0;
	uint64_t left = state.bytes_obtained;
	init();
	state.bytes_obtained = left;
}

void* alloc_virtual(size_t bytes) {
	size_t rounded = (bytes + VIRTUAL_PREFIX + PAGE - 1) & ~(PAGE - 1);
	void* p = mmap(nullptr, rounded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
	if (p == MAP_FAILED) no_memory();
	state.bytes_obtained += rounded;
	*static_cast<uint64_t*>(p) = rounded;
	return static_cast<uint8_t*>(p) + VIRTUAL_PREFIX;
}

void free_virtual(void* address) {
	uint8_t* base = static_cast<uint8_t*>(address) - VIRTUAL_PREFIX;
	uint64_t rounded = *reinterpret_cast<uint64_t*>(base);
	state.bytes_obtained -= rounded;
	if (munmap(base, rounded) != 0) errors::fire(errors::id::internal_wrong_mem);
}

int32_t new_node_frame(uint32_t capacity) {
	if (capacity == 0 || capacity > NODE_FRAME_NODES) capacity = NODE_FRAME_NODES;
	// Reuse a released frame number before taking a new one.
	uint32_t k = 0;
	while (k < node_frame_count && node_frames[k].live) k++;
	if (k == MAX_NODE_FRAMES) no_memory();
	if (k == node_frame_count) node_frame_count++;
	NodeFrame& f = node_frames[k];
	f = NodeFrame{};
	f.live = true;
	f.capacity = capacity;
	f.stamp = collection_count;
	Node first = k * NODE_FRAME_NODES + 1;
	for (uint32_t i = 0; i < capacity; i++)
		node_table[first + i] = free_link(i + 1 < capacity ? first + i + 1 : 0);
	f.free_head = first;
	state.bytes_obtained += 36 + 4 * uint64_t(capacity);
	f.next = -1;
	f.prev = state.node_tail;
	if (state.node_tail >= 0)
		node_frames[state.node_tail].next = int32_t(k);
	else
		state.node_head = state.node_current = int32_t(k);
	state.node_tail = int32_t(k);
	return int32_t(k);
}

Node alloc_node() { return take_node(); }

void release_node(Node node) {
	NodeFrame& f = node_frames[node_frame_of(node)];
	node_table[node] = free_link(f.free_head);
	f.free_head = node;
	f.used--;
}

Node alloc_series(uint32_t count, uint32_t unit, int32_t offset) {
	return attach_node(alloc_buffer(count, unit, offset));
}

// Blocks are most of what programs allocate: this path is compiled for them.
Node alloc_cells(uint32_t count) { return attach_node(alloc_buffer(count, sizeof(Cell), 0)); }

Node alloc_unset_cells(uint32_t count) {
	Node n = alloc_cells(count);
	Series* s = node_table[n];
	for (Cell* c = reinterpret_cast<Cell*>(s->data()); c < s->end_cell(); c++) cell::make_unset(c);
	return n;
}

Node alloc_bytes(uint32_t count) { return alloc_series(count ? count : 16, 1, 0); }

Node alloc_by_unit(uint32_t count, uint32_t unit) {
	if (count == 0) count = 16 / unit;
	return alloc_series(count, unit, 0);
}

Node alloc_filled_bytes(uint32_t count, uint8_t byte) {
	Node n = alloc_bytes(count);
	Series* s = node_table[n];
	fill(s->data(), s->end_ptr(), byte);
	return n;
}

Node alloc_fixed(uint32_t count, uint32_t unit, int32_t offset) {
	uint32_t bytes = rounded_bytes(count, unit);
	// 4 bytes ahead of the header put the data area on 8 bytes.
	size_t block = size_t(bytes) + SERIES_BLOCK_EXTRA + 4;
	auto* raw = static_cast<uint8_t*>(std::calloc(1, block));
	if (!raw) no_memory();
	fixed_blocks.push_back(raw);
	fixed_count++;
	fixed_bytes += block;
	auto* s = reinterpret_cast<Series*>(raw + 4);
	init_header(s, bytes, unit, offset, SERIES_FIXED);
	return attach_node(s);
}

void set_flags(Node node, uint32_t bits) { node_table[node]->flags |= bits; }

Series* expand_buffer(Series* buffer, uint32_t new_size) {
	uint64_t size = new_size ? new_size : uint64_t(buffer->size) * 2;
	if (size < 1) no_memory();
	uint32_t unit = buffer->unit();
	uint64_t units = (size + unit - 1) / unit;
	if (units > 0xFFFFFFFFu) no_memory();
	Series* fresh = alloc_buffer(uint32_t(units), unit, 0);
	Node node = buffer->node;
	uint32_t big = fresh->flags & SERIES_BIG;
	fresh->flags = (buffer->flags & ~SERIES_PLACEMENT) | big;
	fresh->node = node;
	fresh->head = 0;
	fresh->tail = buffer->used();
	if (node) node_table[node] = fresh;
	buffer->node = 0;
	buffer->flags &= ~SERIES_USED;
	return fresh;
}

Series* expand_copy(Series* buffer, uint32_t new_size) {
	uint8_t* from = buffer->head_ptr();
	size_t length = buffer->end_ptr() - from;
	Series* fresh = expand_buffer(buffer, new_size);
	// Never copy past the new capacity (a shrinking growth).
	if (length > fresh->size) length = fresh->size;
	std::memcpy(fresh->head_ptr(), from, length);
	return fresh;
}

Series* expand_fill(Series* buffer, uint32_t new_size, uint8_t byte) {
	size_t copied = buffer->end_ptr() - buffer->head_ptr();
	Series* fresh = expand_copy(buffer, new_size);
	uint8_t* from = fresh->head_ptr() + copied;
	if (from < fresh->end_ptr()) fill(from, fresh->end_ptr(), byte);
	return fresh;
}

Node copy_series(Series* buffer) {
	Node old_node = buffer->node;
	Series* fresh = alloc_buffer(buffer->size, 1, 0);
	if (old_node) buffer = node_table[old_node];
	fresh->flags = (buffer->flags & ~SERIES_PLACEMENT) | (fresh->flags & SERIES_BIG) | SERIES_USED;
	fresh->tail = buffer->used();
	std::memcpy(fresh->data(), buffer->head_ptr(), buffer->size - buffer->head);
	return attach_node(fresh);
}

Node copy_part(Node node, uint32_t start, uint32_t length) {
	Series* src = node_table[node];
	uint32_t unit = src->unit();
	Series* fresh = alloc_buffer(length, unit, 0);
	src = node_table[node];
	uint32_t big = fresh->flags & SERIES_BIG;
	fresh->flags = (src->flags & ~(SERIES_OWNED | SERIES_PLACEMENT)) | big | SERIES_USED;
	std::memcpy(fresh->data(), src->data() + size_t(start) * unit, size_t(length) * unit);
	fresh->tail = length * unit;
	return attach_node(fresh);
}

uint8_t* repeat_copy(uint8_t* area, size_t length, size_t count) {
	size_t total = length * count;
	if (total == 0) return area;
	size_t run = length;
	while (run * 2 <= total) {
		std::memcpy(area + run, area, run);
		run *= 2;
	}
	if (run < total) std::memcpy(area + run, area, total - run);
	return area + total;
}

void fill(uint8_t* start, uint8_t* end, uint8_t byte) {
	if (end > start) std::memset(start, byte, size_t(end - start));
}

void zero_words(uint32_t* start, uint32_t* end) {
	if (end > start) std::memset(start, 0, size_t(end - start) * 4);
}

Cell* alloc_at_tail(Series* buffer) {
	// An empty buffer has no capacity to double: give it room for a few cells.
	if (buffer->tail + sizeof(Cell) > buffer->size)
		buffer = expand_copy(buffer, buffer->size ? 0 : 4 * sizeof(Cell));
	Cell* c = buffer->tail_cell();
	cell::make_unset(c);
	buffer->tail += sizeof(Cell);
	return c;
}

Cell* alloc_tail(const Cell* block) { return alloc_at_tail(buffer_of(block)); }

uint8_t* alloc_tail_bytes(Series* buffer, uint32_t count) {
	if (uint64_t(buffer->tail) + count > buffer->size) {
		uint64_t grown = buffer->size < count ? uint64_t(count) * 2 : uint64_t(buffer->size) * 2;
		if (grown > 0xFFFFFF00u) no_memory();
		buffer = expand_copy(buffer, uint32_t(grown));
	}
	uint8_t* p = buffer->tail_ptr();
	buffer->tail += count;
	return p;
}

const int64_t* build_date() {
	// Seconds since the epoch at which this file was compiled, read once.
	static int64_t stamp = [] {
		struct tm t {};
		const char* months = "JanFebMarAprMayJunJulAugSepOctNovDec";
		const char* d = __DATE__;  // "Mmm dd yyyy"
		for (int m = 0; m < 12; m++)
			if (std::memcmp(d, months + 3 * m, 3) == 0) t.tm_mon = m;
		t.tm_mday = std::atoi(d + 4);
		t.tm_year = std::atoi(d + 7) - 1900;
		const char* tm = __TIME__;  // "hh:mm:ss"
		t.tm_hour = std::atoi(tm);
		t.tm_min = std::atoi(tm + 3);
		t.tm_sec = std::atoi(tm + 6);
		return int64_t(timegm(&t));
	}();
	return &stamp;
}

}  // namespace vyn::memory
