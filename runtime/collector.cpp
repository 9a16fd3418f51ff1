#include "runtime/collector.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/context.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/error.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/lexer.h"
#include "runtime/evaluator/natives.h"
#include "runtime/evaluator/stack.h"
#include "runtime/externals.h"
#include "runtime/hash_table.h"
#include "runtime/ownership.h"
#include "runtime/roots.h"
#include "runtime/slots.h"
#include "runtime/symbol.h"
#include "runtime/words.h"

namespace vyn::collector {

bool active = false;
bool stress = false;
int32_t console_base = -1;
bool console_running = false;
void (*image_hook)(Node node) = nullptr;

namespace {

constexpr uint32_t MAX_MARKERS = 100;
constexpr uint32_t HISTORY_DEPTH = 5;
constexpr uint32_t EVACUATE_BELOW = NODE_FRAME_NODES / 2;  // nodes in use
// A previous frame's free tail takes moved runs only while it has this much room.
constexpr size_t TARGET_ROOM = SERIES_FRAME_MIN_ROOM + 1;

TypeMarker type_markers[256];
Marker markers[MAX_MARKERS];
uint32_t marker_count = 0;

// The stress mode VYN_GC_STRESS asked to start once the library is loaded.
bool stress_after_boot = false;
// Safe points the stress mode still lets pass on a deep stack, and the state
// of the fixed-seed sequence the gaps come from: gaps of varying length keep a
// loop of regular length from always missing the same safe points, and a
// failure repeats from run to run.
uint32_t stress_skip = 0;
uint32_t stress_seed = 0x9E3779B9u;
// The least mean gap between stress collections (VYN_GC_STRESS_GAP, default
// 1: every safe point): a small machine runs the stress suite sparser.
uint32_t stress_least_mean = 1;

// A gap of 0 .. 2 * mean - 2 safe points: one collection in `mean` on average.
uint32_t stress_gap(uint32_t mean) {
	stress_seed ^= stress_seed << 13;
	stress_seed ^= stress_seed >> 17;
	stress_seed ^= stress_seed << 5;
	return stress_seed % (2 * mean - 1);
}

// Buffers whose cells still have to be marked.
std::vector<Node> work;
// The marks, one bit per node handle, beside the buffers: a buffer already
// reached is told without touching it, and no buffer carries a mark to clear.
std::vector<uint64_t> mark_bits;
// The series frames in address order, with the bytes of the buffers marked in
// each: a frame whose buffers are all dead, or all live, is settled without a
// walk through its buffers.
struct Span {
	const uint8_t* from;
	const uint8_t* to;
	uint64_t live;
	bool emptied;  // all dead: its bump pointer went back to the start unwalked
};
std::vector<Span> spans;
size_t last_span = 0;
// Nodes of dead buffers, released once compaction is over.
std::vector<Node> pending_free;
// Old node -> new node, while a collection evacuates node frames.
hash::HeapMap* relocation = nullptr;

// ------------------------------------------------------------ handles

inline bool valid_node(Node n) {
	uint32_t frame = memory::node_frame_of(n);
	return n && frame < memory::node_frame_count && memory::node_frames[frame].live;
}

// Rewrites a handle whose node was evacuated.
inline void follow(Node* slot) {
	if (!relocation || !*slot) return;
	if (uint32_t* moved = hash::heap_map_get(relocation, *slot)) *slot = *moved;
}

inline Series* live_buffer(Node n) {
	if (!valid_node(n)) return nullptr;
	Series* s = memory::node_table[n];
	return s && !memory::node_is_free_slot(s) ? s : nullptr;
}

inline bool node_marked(Node n) {
	size_t word = n >> 6;
	return word < mark_bits.size() && ((mark_bits[word] >> (n & 63)) & 1);
}

inline bool is_marked(Node n) { return live_buffer(n) && node_marked(n); }

// A buffer found in a frame is live when its node is marked (so valid) and
// still names it.
inline bool is_live(const Series* s) { return node_marked(s->node) && memory::node_table[s->node] == s; }

void start_marks() {
	mark_bits.assign((size_t(memory::node_frame_count) * NODE_FRAME_NODES + 1 + 63) / 64, 0);
	spans.clear();
	for (SeriesFrame* f = memory::state.series_head; f; f = f->next) spans.push_back({f->start(), f->end, 0, false});
	last_span = 0;
}

inline uint32_t block_bytes(const Series* s) { return s->size + SERIES_BLOCK_EXTRA; }

// The span holding an address, or null outside every series frame.
Span* span_of(const void* address) {
	auto* p = static_cast<const uint8_t*>(address);
	if (spans.empty()) return nullptr;
	Span* last = &spans[last_span];
	if (p >= last->from && p < last->to) return last;
	auto at = std::upper_bound(spans.begin(), spans.end(), p, [](const uint8_t* q, const Span& sp) { return q < sp.from; });
	if (at == spans.begin()) return nullptr;
	--at;
	if (p >= at->to) return nullptr;
	last_span = size_t(at - spans.begin());
	return &*at;
}

// Sets the mark of the buffer a slot names, without touching the buffer;
// answers it when it was not marked yet.
Series* mark_node(Node* slot) {
	follow(slot);
	Node n = *slot;
	if (!valid_node(n) || node_marked(n)) return nullptr;
	Series* s = memory::node_table[n];
	if (!s || memory::node_is_free_slot(s)) return nullptr;
	// A node frame made while marking (a marker that allocates) is beyond the bits.
	if ((n >> 6) >= mark_bits.size()) mark_bits.resize((n >> 6) + 1, 0);
	mark_bits[n >> 6] |= uint64_t(1) << (n & 63);
	return s;
}

void count_live(const Series* s) {
	if (!(s->flags & (SERIES_BIG | SERIES_FIXED)))
		if (Span* span = span_of(s)) span->live += block_bytes(s);
}

// ------------------------------------------------------------ per type

// A buffer reached from a cell is marked with mark_block, never mark_buffer
// alone: a data-stack slot taken but not written yet may hold a stale cell
// whose node now belongs to a block or a context, and marking that buffer
// without scanning it would leave its contents to be freed.
void mark_series_pair(Cell* c) {
	mark_block(&c->data2);
	if (c->data3) mark_block(&c->data3);
}

void mark_symbol(Cell* c) {
	mark_block(&c->data3);
	if (c->data2) mark_block(&c->data2);
}

// A hash table reached from a cell. A data-stack slot that was taken but
// not written yet may hold a stale cell: its node is only followed when it
// still holds a table record.
void mark_table(Node* slot) {
	follow(slot);
	Series* s = live_buffer(*slot);
	if (!s || s->unit() != 1 || s->used() != sizeof(hash::Table)) return;
	if (reinterpret_cast<hash::Table*>(s->data())->kind > hash::KIND_OWNERSHIP) return;
	hash::mark(slot, hash::Marker{mark_buffer, mark_block});
}

void mark_context_cell(Cell* c) {
	mark_table(&c->data1);
	if (!(c->header & context::FLAG_STACK)) mark_block(&c->data2);
}

void mark_word(Cell* c) {
	if (c->data1) mark_context(&c->data1);
}

void mark_native(Cell* c) {
	mark_block(&c->data2);
	mark_block(&c->data3);
	if (cell::is(c, T_OP)) {
		uint32_t source = (c->header >> 16) & 0xFF;
		if (source == T_FUNCTION || source == T_ROUTINE) mark_context(&c->data1);
	}
}

void mark_function(Cell* c) {
	mark_context(&c->data1);
	mark_block(&c->data2);
	mark_block(&c->data3);
}

void mark_object(Cell* c) {
	mark_context(&c->data1);
	if (c->data3) mark_block(&c->data3);
}

void mark_indexed_block(Cell* c) {
	mark_block(&c->data2);
	if (c->data3) mark_table(&c->data3);
}

void mark_handle(Cell* c) {
	int32_t slot = int32_t(c->data2) - 1;
	if (slot >= 0 && externals::is_current(slot, c->data3)) externals::mark(slot, nullptr);
}

void mark_image(Cell* c) {
	if (!c->data2) return;
	mark_block(&c->data2);
	if (image_hook) image_hook(c->data2);
}

void mark_event(Cell* c) {
	if ((c->header & 0x1000) && c->data2) mark_block(&c->data2);
}

void mark_block_cell(Cell* c) { mark_block(&c->data2); }

void install_type_markers() {
	for (TypeMarker& m : type_markers) m = nullptr;
	for (Type t : {T_BLOCK, T_PAREN, T_PATH, T_LIT_PATH, T_SET_PATH, T_GET_PATH}) type_markers[t] = mark_block_cell;
	for (Type t : {T_STRING, T_FILE, T_URL, T_TAG, T_EMAIL, T_REF}) type_markers[t] = mark_series_pair;
	type_markers[T_SYMBOL] = mark_symbol;
	type_markers[T_CONTEXT] = mark_context_cell;
	for (Type t : {T_WORD, T_SET_WORD, T_LIT_WORD, T_GET_WORD, T_REFINEMENT}) type_markers[t] = mark_word;
	for (Type t : {T_NATIVE, T_ACTION, T_OP}) type_markers[t] = mark_native;
	for (Type t : {T_FUNCTION, T_ROUTINE}) type_markers[t] = mark_function;
	for (Type t : {T_BITSET, T_VECTOR, T_BINARY}) type_markers[t] = mark_block_cell;
	for (Type t : {T_OBJECT, T_ERROR, T_PORT}) type_markers[t] = mark_object;
	for (Type t : {T_HASH, T_MAP}) type_markers[t] = mark_indexed_block;
	type_markers[T_HANDLE] = mark_handle;
	type_markers[T_IMAGE] = mark_image;
	type_markers[T_EVENT] = mark_event;
}

// Takes the buffers mark_block queued until none is left: each is counted,
// and its cells are marked when it holds cells. They pass through a short
// queue whose headers are fetched ahead, so that the cache misses of a walk
// through scattered buffers overlap instead of following one another.
void drain() {
	constexpr uint32_t AHEAD = 8;
	Node ahead[AHEAD];
	uint32_t first = 0, queued = 0;
	for (;;) {
		while (queued < AHEAD && !work.empty()) {
			Node n = work.back();
			work.pop_back();
			__builtin_prefetch(memory::node_table[n]);
			ahead[(first + queued++) % AHEAD] = n;
		}
		if (!queued) return;
		Series* s = memory::node_table[ahead[first]];
		first = (first + 1) % AHEAD;
		queued--;
		count_live(s);
		if (s->unit() == sizeof(Cell)) mark_cells(s->head_cell(), s->tail_cell());
	}
}

// ------------------------------------------------------------ roots

void mark_frames() {
	for (stack::Frame* f = stack::frames_bottom; f < stack::frames_top; f++) {
		if (f->word_context) mark_context(&f->word_context);
		if (!f->callee_context) continue;
		mark_context(&f->callee_context);
		Series* ctx = live_buffer(f->callee_context);
		bool on_stack = ctx && (ctx->head_cell()->header & context::FLAG_STACK);
		if (!on_stack && f->saved_values) mark_block(&f->saved_values);
	}
}

void mark_guards() {
	for (uint32_t i = 0; i < roots::count; i++) {
		const roots::Entry& e = roots::entries[i];
		if (e.count) {
			mark_cells(static_cast<Cell*>(e.at), static_cast<Cell*>(e.at) + e.count);
			continue;
		}
		// A bare handle: its buffer, and its cells when it holds cells.
		mark_block(static_cast<Node*>(e.at));
	}
}

void mark_roots() {
	if (context::root) mark_cell(context::root);
	mark_cell(&block::root);
	mark_cells(stack::bottom, stack::top);
	mark_frames();
	if (context::global) mark_context(&context::global);
	if (symbol::table) hash::mark(&symbol::table, hash::Marker{mark_buffer, mark_block});
	if (words::block) mark_block(&words::block);
	if (error::state) mark_context(&error::state);
	if (error::catalog_owner) mark_context(&error::catalog_owner);
	if (interpreter::callbacks) mark_context(&interpreter::callbacks);
	mark_cell(&interpreter::current_code);
	mark_cell(&interpreter::tracer);
	mark_cell(&natives::print_buffer);
	lexer::mark_buffers([](Cell* c, void*) { mark_cell(c); }, nullptr);
	if (Cell* table = slots::root()) mark_cell(table);
	for (uint32_t i = 0; i < cycles::count; i++) follow(&cycles::entries[i]);
	mark_guards();
	for (uint32_t i = 0; i < marker_count; i++)
		if (markers[i]) markers[i]();
	drain();
}

// ------------------------------------------------------------ ownership

// The ownership table is weak: an entry's cells (the owned value, the owner
// object, the field word) are marked only once its series and its owner are
// reached otherwise, and that marking may reach further entries, so it runs
// to a fixed point. Answers the entries left unreached.
std::vector<Cell*> mark_ownership(uint32_t& live) {
	std::vector<Cell*> pending;
	live = 0;
	Node& table = ownership::table;
	if (!table) return pending;
	mark_buffer(&table);
	hash::Table* t = hash::table_of(table);
	mark_buffer(&t->flags);
	mark_buffer(&t->keys);
	mark_buffer(&t->block);
	hash::for_each_entry(table, [&](Cell* key) { pending.push_back(key); });
	for (bool changed = true; changed;) {
		changed = false;
		size_t kept = 0;
		for (Cell* key : pending) {
			follow(&key->data1);
			Cell* owner = key + 2;
			if (cell::is(owner, T_OBJECT)) follow(&owner->data1);
			bool owner_alive = !cell::is(owner, T_OBJECT) || is_marked(owner->data1);
			if (is_marked(key->data1) && owner_alive) {
				mark_cells(key + 1, key + 4);
				live++;
				changed = true;
			} else {
				pending[kept++] = key;
			}
		}
		pending.resize(kept);
		drain();
	}
	return pending;
}

// Drops the unreached entries; a series that lives on is no longer owned.
// The table is re-indexed after the collection (its buckets hash handles).
bool sweep_ownership(const std::vector<Cell*>& dead) {
	for (Cell* key : dead) {
		if (Series* s = live_buffer(key->data1); s && node_marked(key->data1)) s->flags &= ~SERIES_OWNED;
		key->header = 0;
		key->data1 = 0;
		for (int i = 1; i <= 3; i++) cell::make_unset(key + i);
	}
	return !dead.empty();
}

// ------------------------------------------------------------ node frames

// A free node of a frame other than `except` that is not evacuated.
Node take_node(int32_t except) {
	for (int32_t k = memory::state.node_head; k >= 0; k = memory::node_frames[k].next) {
		NodeFrame& f = memory::node_frames[k];
		if (k == except || f.evacuated || !f.free_head) continue;
		memory::state.node_current = k;
		return memory::alloc_node();
	}
	return 0;
}

void evacuate(int32_t k) {
	NodeFrame& f = memory::node_frames[k];
	Node first = Node(k) * NODE_FRAME_NODES + 1;
	for (Node n = first; n < first + f.capacity; n++) {
		Series* s = memory::node_table[n];
		// Free slots carry their link tagged in bit 0, the list's end too.
		if (memory::node_is_free_slot(s)) continue;
		Node fresh = take_node(k);
		if (!fresh) return;  // counted room ran out: the frame stays as it is
		memory::node_table[fresh] = s;
		if (s) s->node = fresh;
		if (!relocation) relocation = hash::heap_map_make(20000);
		hash::heap_map_put(relocation, n, fresh);
		f.used--;
	}
	f.evacuated = 1;
}

void compact_nodes() {
	int32_t current = -1;
	uint64_t free = 0;
	for (int32_t k = memory::state.node_head; k >= 0; k = memory::node_frames[k].next) {
		NodeFrame& f = memory::node_frames[k];
		if (f.evacuated || !f.free_head) continue;
		if (current < 0) current = k;
		free += f.capacity - f.used;
	}
	if (current < 0) return;
	memory::state.node_current = current;
	uint32_t stable = (1u << (HISTORY_DEPTH + 1)) - 1;
	bool moved = false;
	for (int32_t k = memory::state.node_tail; k >= 0; k = memory::node_frames[k].prev) {
		NodeFrame& f = memory::node_frames[k];
		bool forced = stress && f.used < EVACUATE_BELOW;
		if (k == current || f.evacuated) continue;
		if (!forced && (f.stability & stable) != stable) continue;
		uint64_t elsewhere = free - (f.capacity - f.used);
		if (f.used >= EVACUATE_BELOW || elsewhere <= f.used || (!forced && elsewhere <= NODE_FRAME_NODES)) continue;
		uint32_t used = f.used;
		evacuate(k);
		if (!f.evacuated) break;
		free = elsewhere - used;
		moved = true;
		memory::state.node_current = current;
	}
	if (moved) memory::nodes_cycles++;
}

void release_node_frame(int32_t k) {
	NodeFrame& f = memory::node_frames[k];
	if (f.prev >= 0)
		memory::node_frames[f.prev].next = f.next;
	else
		memory::state.node_head = f.next;
	if (f.next >= 0)
		memory::node_frames[f.next].prev = f.prev;
	else
		memory::state.node_tail = f.prev;
	f.live = false;
	memory::state.bytes_obtained -= 36 + 4 * uint64_t(f.capacity);
	// The slots' pages go back to the system; new_node_frame fills them again.
	auto* first = reinterpret_cast<uint8_t*>(memory::node_table + Node(k) * NODE_FRAME_NODES + 1);
	auto* last = reinterpret_cast<uint8_t*>(memory::node_table + (Node(k) + 1) * NODE_FRAME_NODES + 1);
	uintptr_t from = (reinterpret_cast<uintptr_t>(first) + 4095) & ~uintptr_t(4095);
	uintptr_t to = reinterpret_cast<uintptr_t>(last) & ~uintptr_t(4095);
	if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
}

// Empty node frames are kept while their slots amount to no more than the
// nodes this collection freed: a program that keeps allocating at that rate
// takes them again at once, and releasing them would hand their pages back
// to the system only to fault them in again.
void node_housekeeping(uint64_t churn) {
	uint64_t kept = 0;
	for (int32_t k = memory::state.node_head; k >= 0;) {
		NodeFrame& f = memory::node_frames[k];
		int32_t next = f.next;
		bool only = memory::state.node_head == k && f.next < 0;
		if (!only && f.used == 0 && !f.evacuated && kept < churn)
			kept += f.capacity;
		else if (!only && (f.used == 0 || f.evacuated))
			release_node_frame(k);
		k = next;
	}
	memory::state.node_current = -1;
	for (int32_t k = memory::state.node_head; k >= 0; k = memory::node_frames[k].next) {
		NodeFrame& f = memory::node_frames[k];
		if (memory::state.node_current < 0 && f.free_head) memory::state.node_current = k;
		f.stability = (f.stability << 1) | (f.used == f.used_last_gc ? 1u : 0u);
		f.used_last_gc = f.used;
	}
	if (memory::state.node_current < 0) memory::state.node_current = memory::state.node_head;
}

// ------------------------------------------------------------ series frames

// A dead buffer's node is released, unless growth abandoned the buffer.
inline void drop(Series* s) {
	if (s->node && valid_node(s->node) && memory::node_table[s->node] == s) pending_free.push_back(s->node);
}

// Moves a run of live buffers; every node follows its buffer.
void move_run(uint8_t* from, size_t length, uint8_t* to) {
	if (from == to) return;
	std::memmove(to, from, length);
	for (uint8_t* p = to; p < to + length;) {
		auto* s = reinterpret_cast<Series*>(p);
		if (s->node) memory::node_table[s->node] = s;
		p += block_bytes(s);
	}
}

// How far ahead of a walk through a frame its headers are fetched.
constexpr size_t WALK_AHEAD = 512;

// Slides the live buffers of a frame together, moving runs into the free
// tail of the previous frame while that has room. Answers the frame's new
// bump pointer.
uint8_t* compact_frame(SeriesFrame* f, SeriesFrame* prev) {
	size_t room = prev ? size_t(prev->end - prev->bump) : 0;
	bool target = room >= TARGET_ROOM;
	uint8_t* slide = nullptr;  // where the next run slides to, once a gap opened
	uint8_t* p = f->start();
	while (p < f->bump) {
		__builtin_prefetch(p + WALK_AHEAD);
		auto* s = reinterpret_cast<Series*>(p);
		if (!is_live(s)) {
			drop(s);
			if (!slide) slide = p;
			p += block_bytes(s);
			continue;
		}
		uint8_t* run = p;
		size_t length = 0;
		while (p < f->bump) {
			__builtin_prefetch(p + WALK_AHEAD);
			auto* b = reinterpret_cast<Series*>(p);
			if (!is_live(b)) break;
			size_t bytes = block_bytes(b);
			if (target && length && length + bytes > room) break;
			length += bytes;
			p += bytes;
		}
		if (target && length <= room) {
			move_run(run, length, prev->bump);
			prev->bump += length;
			room -= length;
			if (room < TARGET_ROOM) target = false;
			if (!slide) slide = run;
		} else if (slide) {
			move_run(run, length, slide);
			slide += length;
		} else {
			target = false;
		}
	}
	return slide ? slide : f->bump;
}

void release_series_frame(SeriesFrame* f) {
	if (f->prev) f->prev->next = f->next;
	if (f->next) f->next->prev = f->prev;
	if (memory::state.series_head == f) memory::state.series_head = f->next;
	if (memory::state.series_tail == f) memory::state.series_tail = f->prev;
	memory::free_virtual(f);
}

// Collections in a row that must find a frame empty and unused before it
// goes back to the system: frames that the allocation rate fills again
// between collections stay mapped.
constexpr uint32_t IDLE_RELEASE = 2;

void compact_series() {
	for (SeriesFrame* f = memory::state.series_head; f;) {
		SeriesFrame* next = f->next;
		bool used = f->bump != f->start();
		// A frame made while marking has no span: it is walked.
		Span* span = span_of(f->start());
		bool room_before = f->prev && size_t(f->prev->end - f->prev->bump) >= TARGET_ROOM;
		if (span && span->live == 0) {
			// Its nodes are released by release_emptied_nodes.
			span->emptied = used;
			f->bump = f->start();
		} else if (!span || span->live != uint64_t(f->bump - f->start()) || room_before) {
			f->bump = compact_frame(f, f->prev);
		}
		bool empty = f->bump == f->start();
		f->idle = used || !empty ? 0 : f->idle + 1;
		if (empty && f->prev && f->next && f->idle >= IDLE_RELEASE) release_series_frame(f);
		f = next;
	}
	memory::state.series_current = memory::state.series_head;
}

// Releases the unmarked nodes whose buffers were in frames emptied unwalked:
// the node table is read in order, a dead buffer is never touched.
uint64_t release_emptied_nodes() {
	bool any = false;
	for (const Span& span : spans) any |= span.emptied;
	if (!any) return 0;
	uint64_t released = 0;
	for (int32_t k = memory::state.node_head; k >= 0; k = memory::node_frames[k].next) {
		NodeFrame& frame = memory::node_frames[k];
		// A slot evacuate moved still names its buffer: the moved-to node is the live one.
		if (frame.evacuated) continue;
		Node first = Node(k) * NODE_FRAME_NODES + 1;
		for (Node n = first; n < first + frame.capacity; n++) {
			Series* s = memory::node_table[n];
			if (!s || memory::node_is_free_slot(s) || node_marked(n)) continue;
			if (relocation && hash::heap_map_get(relocation, n)) continue;
			Span* span = span_of(s);
			if (span && span->emptied) {
				memory::release_node(n);
				released++;
			}
		}
	}
	return released;
}

// Stress mode: every live buffer moves into other frames; the old frames
// stay mapped without access until the next collection, so an address kept
// across a safe point faults at once. The frames retired by the previous
// collection take the live buffers first (their pages stay resident).
void move_all_series() {
	SeriesFrame* old = memory::state.series_head;
	memory::state.series_head = memory::state.series_tail = memory::state.series_current = nullptr;
	SeriesFrame* spare = memory::state.retired;
	memory::state.retired = nullptr;
	auto next_target = [&]() {
		memory::state.retired = spare;
		SeriesFrame* f = memory::revive_series_frame();
		spare = memory::state.retired;
		memory::state.retired = nullptr;
		return f ? f : memory::new_series_frame();
	};
	SeriesFrame* to = next_target();
	std::vector<SeriesFrame*> emptied;
	for (SeriesFrame* f = old; f; f = f->next) {
		for (uint8_t* p = f->start(); p < f->bump;) {
			auto* s = reinterpret_cast<Series*>(p);
			uint32_t bytes = block_bytes(s);
			if (is_live(s)) {
				while (to->bump + bytes >= to->end) {
					if (bytes >= memory::state.series_planned) memory::state.series_planned = memory::state.series_cap;
					to = next_target();
				}
				move_run(p, bytes, to->bump);
				to->bump += bytes;
			} else {
				drop(s);
			}
			p += bytes;
		}
		emptied.push_back(f);
	}
	memory::state.retired = spare;
	memory::release_retired_frames();
	for (SeriesFrame* f : emptied) memory::retire_series_frame(f);
	memory::state.series_current = memory::state.series_head;
}

void sweep_big() {
	for (BigFrame* f = memory::state.big_head; f;) {
		BigFrame* next = f->next;
		Series* s = f->buffer();
		if (!is_live(s)) {
			drop(s);
			if (f->prev) f->prev->next = f->next;
			if (f->next) f->next->prev = f->prev;
			if (memory::state.big_head == f) memory::state.big_head = f->next;
			if (memory::state.big_tail == f) memory::state.big_tail = f->prev;
			// Stress mode unmaps at once, so that a stale address faults.
			if (stress)
				memory::free_virtual(f);
			else
				memory::spare_big_frame(f);
		}
		f = next;
	}
}

}  // namespace

// ------------------------------------------------------------ marking entries

bool mark_buffer(Node* slot) {
	Series* s = mark_node(slot);
	if (!s) return false;
	count_live(s);
	return true;
}

void mark_block(Node* slot) {
	if (mark_node(slot)) work.push_back(*slot);
}

// A context is two cells (header and owner): marking its cells marks its
// word table, its values and its owner.
void mark_context(Node* slot) { mark_block(slot); }

void mark_cells(Cell* first, Cell* end) {
	for (Cell* c = first; c < end; c++)
		if (TypeMarker m = type_markers[c->header & TYPE_MASK]) m(c);
}

void set_type_marker(Type type, TypeMarker marker) { type_markers[type] = marker; }

void register_marker(Marker marker) {
	// Modules register from their init, which tests may run again.
	for (uint32_t i = 0; i < marker_count; i++)
		if (markers[i] == marker) return;
	for (uint32_t i = 0; i < marker_count; i++)
		if (!markers[i]) {
			markers[i] = marker;
			return;
		}
	if (marker_count == MAX_MARKERS) errors::fire(errors::id::internal_limit_hit);
	markers[marker_count++] = marker;
}

void unregister_marker(Marker marker) {
	for (uint32_t i = 0; i < marker_count; i++)
		if (markers[i] == marker) markers[i] = nullptr;
}

// ------------------------------------------------------------ the collection

void init() {
	install_type_markers();
	memory::collection_count = 0;
	memory::nodes_cycles = 0;
	const char* s = std::getenv("VYN_GC_STRESS");
	stress = s && std::strcmp(s, "1") == 0;
	stress_after_boot = s && std::strcmp(s, "after-boot") == 0;
	stress_skip = 0;
	stress_seed = 0x9E3779B9u;
	const char* gap = std::getenv("VYN_GC_STRESS_GAP");
	stress_least_mean = gap ? uint32_t(std::clamp(std::atoi(gap), 1, 1000)) : 1;
	if (stress) memory::collection_requested = true;
}

void boot_done() {
	if (!stress_after_boot) return;
	stress = true;
	// The console takes over from here: its own steps are the library's code.
	console_running = true;
	memory::collection_requested = true;
}

uint32_t cycles() { return memory::collection_count; }
uint32_t nodes_cycles() { return memory::nodes_cycles; }

void run(bool handles_may_move) {
	if (memory::collecting) return;
	if (!type_markers[T_BLOCK]) install_type_markers();
	memory::collecting = true;
	memory::collection_requested = false;
	if (!stress) memory::release_retired_frames();
	memory::release_spare_big_frames();
	uint32_t nodes_before = memory::nodes_cycles;
	if (handles_may_move && memory::node_compaction) compact_nodes();
	start_marks();
	mark_roots();
	uint32_t owned = 0;
	std::vector<Cell*> dead_owned = mark_ownership(owned);
	externals::sweep();
	bool reindex = sweep_ownership(dead_owned) || memory::nodes_cycles != nodes_before;
	uint64_t churn = 0;
	if (stress) {
		move_all_series();
	} else {
		compact_series();
		churn += release_emptied_nodes();
	}
	sweep_big();
	for (Node n : pending_free) memory::release_node(n);
	churn += pending_free.size();
	pending_free.clear();
	node_housekeeping(churn);
	if (relocation) {
		hash::heap_map_free(relocation);
		relocation = nullptr;
	}
	memory::collection_count++;
	memory::collection_done();
	memory::collecting = false;
	if (stress) memory::collection_requested = true;
	// Buckets of the ownership table hash handles: rebuilt from the live entries.
	if (reindex && ownership::table) hash::rebuild(ownership::table, owned);
}

void run_requested() {
	if (!active) {
		memory::collection_requested = false;
		return;
	}
	if (stress) {
		uint32_t depth = stack::depth();
		uint32_t mean = depth / STRESS_DEPTH_STEP;
		if (console_base >= 0)
			mean = (depth > uint32_t(console_base) ? depth - uint32_t(console_base) : 0) / STRESS_DEPTH_STEP;
		else if (console_running)
			mean = CONSOLE_STRESS_MEAN;
		if (mean < stress_least_mean) mean = stress_least_mean;
		if (mean < 2) {
			stress_skip = 0;
		} else if (stress_skip) {
			stress_skip--;
			return;  // the request stands for the next safe point
		} else {
			stress_skip = stress_gap(mean);
		}
	}
	run();
}

}  // namespace vyn::collector
