// The memory manager: nodes, series buffers and the frames they live in.
//
// Invariants:
//  - A value reaches a buffer only through a node handle; node_table[h] holds
//    the buffer of node h, so moving a buffer rewrites one slot. Handle 0 is
//    null. Node frame k owns handles k*NODE_FRAME_NODES+1 .. (k+1)*NODE_FRAME_NODES.
//  - A free node slot holds the next free handle of its frame, tagged with
//    bit 0 (a live slot holds a buffer address, always 4-aligned); 0 ends
//    the list, so a free slot never reads as a buffer.
//  - A buffer is a 20-byte header, the data area (capacity `size`, a multiple
//    of 16), then 4 spare bytes. head and tail are byte offsets from the data
//    start. Data areas are 8-aligned, so cells in block buffers are aligned.
//  - Buffers are bump-allocated from series frames (1 MB, then 2 MB each);
//    a buffer whose block is 2 MB or more gets a big frame of its own (one
//    that the last collection freed when one is of about the right size).
//  - Nothing is freed here: growth abandons the old buffer (node 0, used bit
//    clear) and the collector reclaims it. Allocation takes the room of one
//    frame after another (reusing frames a collection emptied, adding frames
//    when none has room); once the room taken since the last collection
//    amounts to what the live buffers held after it (8 MB at least), a
//    collection is requested for the next safe point.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/cell.h"

namespace vyn {

constexpr uint32_t SERIES_USED = 0x80000000u;
constexpr uint32_t SERIES_MADE = 0x20000000u;
constexpr uint32_t SERIES_MIDDLE = 0x10000000u;   // head placed mid-buffer (offset -1)
constexpr uint32_t SERIES_BIG = 0x01000000u;
constexpr uint32_t SERIES_FIXED = 0x00100000u;    // from the C heap, never moved
constexpr uint32_t SERIES_UTF16 = 0x00040000u;    // text loaded from UTF-16
constexpr uint32_t SERIES_OWNED = 0x00020000u;    // owned by an object field
constexpr uint32_t SERIES_UNIT_MASK = 0x1Fu;
// Where a buffer lives belongs to that buffer: growth and copies do not pass these on.
constexpr uint32_t SERIES_PLACEMENT = SERIES_BIG | SERIES_FIXED;

struct Series {
	uint32_t flags;
	Node node;      // back pointer; 0 once abandoned by growth
	uint32_t size;  // capacity of the data area in bytes
	uint32_t head;  // offset of the first used byte
	uint32_t tail;  // offset past the last used byte

	uint8_t* data() { return reinterpret_cast<uint8_t*>(this + 1); }
	const uint8_t* data() const { return reinterpret_cast<const uint8_t*>(this + 1); }
	uint32_t unit() const { return flags & SERIES_UNIT_MASK; }
	uint8_t* head_ptr() { return data() + head; }
	uint8_t* tail_ptr() { return data() + tail; }
	uint8_t* end_ptr() { return data() + size; }
	uint32_t used() const { return tail - head; }
	Cell* head_cell() { return reinterpret_cast<Cell*>(head_ptr()); }
	Cell* tail_cell() { return reinterpret_cast<Cell*>(tail_ptr()); }
	Cell* end_cell() { return reinterpret_cast<Cell*>(end_ptr()); }
};
static_assert(sizeof(Series) == 20);

constexpr uint32_t NODE_FRAME_NODES = 10000;
constexpr uint32_t SERIES_FRAME_INITIAL = 0x100000;  // 1 MB
constexpr uint32_t SERIES_FRAME_CAP = 0x200000;      // 2 MB, also the big-buffer threshold
constexpr uint32_t SERIES_BLOCK_EXTRA = 24;          // header + spare bytes
constexpr uint32_t SERIES_FRAME_MIN_ROOM = 0xCCCC;   // below this a found frame is not reused

struct NodeFrame {
	int32_t next;  // frame indexes, -1 ends
	int32_t prev;
	uint32_t capacity;
	Node free_head;  // 0 when empty
	uint32_t used;
	uint32_t stamp;          // collection counter when made
	uint32_t used_last_gc;   // use count at the end of the last collection
	uint32_t stability;      // history: bit 0 set when the count did not change
	uint32_t evacuated;      // 1 once the collector moved every node out
	bool live;               // the index is in use
};

struct SeriesFrame {
	SeriesFrame* next;
	SeriesFrame* prev;
	uint64_t size;  // bytes obtained, header included
	uint8_t* bump;  // next free byte
	uint8_t* end;   // first byte past the frame
	uint32_t idle;  // collections in a row that found the frame empty and unused
	uint8_t* start() { return reinterpret_cast<uint8_t*>(this) + header_bytes; }
	static constexpr size_t header_bytes = 44;  // puts every data area on 8 bytes
};
static_assert(offsetof(SeriesFrame, idle) + sizeof(uint32_t) <= SeriesFrame::header_bytes);

struct BigFrame {
	BigFrame* next;
	BigFrame* prev;
	uint64_t size;  // bytes of the buffer block
	Series* buffer() { return reinterpret_cast<Series*>(reinterpret_cast<uint8_t*>(this) + header_bytes); }
	static constexpr size_t header_bytes = 28;
};

namespace memory {

struct State {
	uint64_t bytes_obtained;   // from the page source, less what was released
	int32_t node_head, node_tail, node_current;
	SeriesFrame* series_head;
	SeriesFrame* series_current;
	SeriesFrame* series_tail;
	uint32_t series_initial;
	uint32_t series_planned;
	uint32_t series_cap;
	BigFrame* big_head;
	BigFrame* big_tail;
	BigFrame* big_spare;        // freed by the last collection, kept for reuse (linked by next)
	uint64_t big_spare_bytes;
	uint32_t frames_made;       // series frames made since start
	SeriesFrame* retired;       // frames waiting for release (linked by next)
};

extern State state;
extern Series** node_table;
extern NodeFrame* node_frames;     // indexed by frame number
extern uint32_t node_frame_count;  // frame numbers in use or released (high-water mark)
extern bool collection_requested;  // a collection is due at the next safe point
// Called by the collector at the end of each collection: the room taken is
// counted afresh against what the buffers now hold.
void collection_done();
// Bytes of the buffers in series frames and big frames, live or not yet collected.
uint64_t heap_in_use();
extern uint32_t collection_count;  // the collector's counter, stamped on new node frames
// Changes at every collection and every init: only then is a node handle
// released, so a handle names the same buffer while the epoch holds.
extern uint32_t handle_epoch;
// Collections that evacuated a node frame: node handles changed then, so
// tables that hashed handles rebuild themselves when it moves on.
extern uint32_t nodes_cycles;
extern bool collecting;       // a collection is running
extern bool node_compaction;  // node frames may be evacuated; off during table rebuilds
// C-heap buffers held (alloc_fixed): how many, and their bytes.
extern uint32_t fixed_count;
extern uint64_t fixed_bytes;

inline Series* series(Node n) { return node_table[n]; }
inline bool node_is_free_slot(const Series* slot) { return (reinterpret_cast<uintptr_t>(slot) & 1) != 0; }

void init();
void free_all();

// Page source: page-aligned, zeroed, released whole.
void* alloc_virtual(size_t bytes);
void free_virtual(void* address);

// The first series frame is made by start-up, after the first node frame.
SeriesFrame* new_series_frame();
// A frame the collector emptied by moving everything out: its pages stay
// mapped without access until release_retired_frames, so that a stale
// address faults instead of reading moved data.
void retire_series_frame(SeriesFrame* frame);
void release_retired_frames();
// Takes the first retired frame back into use, empty (null when none is left).
SeriesFrame* revive_series_frame();
// A big frame the collector freed: kept mapped until the next collection, so
// that a buffer of about its size made meanwhile (a program that drops and
// remakes a large buffer) reuses pages already in memory.
void spare_big_frame(BigFrame* frame);
void release_spare_big_frames();

// Nodes.
int32_t new_node_frame(uint32_t capacity);
Node alloc_node();
void release_node(Node node);
inline uint32_t node_frame_of(Node n) { return (n - 1) / NODE_FRAME_NODES; }

// Series buffers; each answers a new node whose slot holds the buffer.
// offset -1 places head and tail in the middle of the data area.
Node alloc_series(uint32_t count, uint32_t unit, int32_t offset);
Node alloc_cells(uint32_t count);
Node alloc_unset_cells(uint32_t count);
Node alloc_bytes(uint32_t count);
Node alloc_by_unit(uint32_t count, uint32_t unit);
Node alloc_filled_bytes(uint32_t count, uint8_t byte);
Node alloc_fixed(uint32_t count, uint32_t unit, int32_t offset);
void set_flags(Node node, uint32_t bits);

// Growth and copies. A new size of 0 means twice the capacity.
Series* expand_buffer(Series* buffer, uint32_t new_size);
Series* expand_copy(Series* buffer, uint32_t new_size);
Series* expand_fill(Series* buffer, uint32_t new_size, uint8_t byte);
Node copy_series(Series* buffer);
Node copy_part(Node node, uint32_t start, uint32_t length);
uint8_t* repeat_copy(uint8_t* area, size_t length, size_t count);
void fill(uint8_t* start, uint8_t* end, uint8_t byte);
void zero_words(uint32_t* start, uint32_t* end);

// Cells at the tail of a cell buffer, growing it when full.
Cell* alloc_at_tail(Series* buffer);
Cell* alloc_tail(const Cell* block);
uint8_t* alloc_tail_bytes(Series* buffer, uint32_t count);

// The buffer of a series value (word 2 of any-block, any-string cells).
inline Series* buffer_of(const Cell* value) { return node_table[value->data2]; }

// Boot literals: cell K of the boot image's decoded root block.
extern Cell* boot_base;
inline Cell* boot_literal(uint32_t k) { return boot_base + k; }
inline Node boot_literal_node(uint32_t k) { return boot_base[k].data1; }
const int64_t* build_date();

}  // namespace memory
}  // namespace vyn
