#include "runtime/evaluator/memory_stats.h"

#include <vector>

namespace vyn::stats {

namespace {

using memory::state;

struct Figures {
	uint64_t free, used, total;
};

struct Snapshot {
	std::vector<Figures> nodes;   // in nodes
	std::vector<Figures> series;  // in bytes
	std::vector<uint64_t> bigs;   // buffer block sizes
	uint64_t reserved = 0;
	uint64_t heap = 0;
};

Snapshot take_snapshot() {
	Snapshot s;
	for (int32_t k = state.node_head; k >= 0; k = memory::node_frames[k].next) {
		const NodeFrame& f = memory::node_frames[k];
		s.nodes.push_back({f.capacity - f.used, f.used, f.capacity});
		s.reserved += f.capacity * NODE_SLOT_BYTES + NODE_FRAME_BYTES;
	}
	for (SeriesFrame* f = state.series_head; f; f = f->next) {
		uint64_t used = uint64_t(f->bump - f->start());
		uint64_t total = uint64_t(f->end - f->start());
		s.series.push_back({total - used, used, total});
		s.reserved += f->size;  // header included
	}
	for (BigFrame* f = state.big_head; f; f = f->next) {
		s.bigs.push_back(f->size);
		s.reserved += f->size + BigFrame::header_bytes;
	}
	s.heap = memory::fixed_bytes + memory::fixed_count * HEAP_BLOCK_EXTRA;
	return s;
}

uint64_t bytes_in_use() {
	uint64_t bytes = 0;
	for (int32_t k = state.node_head; k >= 0; k = memory::node_frames[k].next)
		bytes += memory::node_frames[k].used * NODE_SLOT_BYTES;
	for (SeriesFrame* f = state.series_head; f; f = f->next) bytes += uint64_t(f->bump - f->start());
	for (BigFrame* f = state.big_head; f; f = f->next) bytes += f->size;
	return bytes;
}

// Appends a new block to `parent`; answers a cell referring to it (the
// parent's buffer may move, the node does not).
Cell append_block(const Cell* parent, uint32_t capacity, bool new_line) {
	Cell block;
	// An empty buffer cannot double, so every block gets room for one cell.
	Node node = memory::alloc_cells(capacity ? capacity : 1);
	cell::set(&block, T_BLOCK | (new_line ? FLAG_NEW_LINE : 0), 0, node, 0);
	*memory::alloc_tail(parent) = block;
	return block;
}

void append_frames(const Cell* block, const std::vector<Figures>& frames) {
	Cell list = append_block(block, uint32_t(frames.size()), false);
	for (const Figures& f : frames) {
		Cell entry = append_block(&list, 3, true);
		push_number(&entry, f.free);
		push_number(&entry, f.used);
		push_number(&entry, f.total);
	}
}

void report(const Cell* block) {
	Snapshot s = take_snapshot();
	append_frames(block, s.nodes);
	append_frames(block, s.series);
	Cell bigs = append_block(block, uint32_t(s.bigs.size()), false);
	for (uint64_t size : s.bigs) push_number(&bigs, size)->header |= FLAG_NEW_LINE;
	push_number(block, s.reserved + s.heap);
	push_number(block, s.heap);
}

}  // namespace

uint64_t memory(const Cell* block, int32_t level) {
	if (level < 2) return bytes_in_use();
	report(block);
	return 0;
}

Cell* push_number(const Cell* block, uint64_t value) {
	Cell* c = memory::alloc_tail(block);
	if (value <= uint64_t(INT32_MAX))
		cell::make_integer(c, int32_t(value));
	else
		cell::make_float(c, double(value));
	return c;
}

}  // namespace vyn::stats
