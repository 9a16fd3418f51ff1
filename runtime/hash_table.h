// Open-addressing hash tables over the cells of a block.
//
// One structure serves five uses, told apart by its kind:
//  0  the index of a hash! block: keys are block positions; equal keys share
//     one bucket through a chain of positions;
//  1  the key index of a map! block (key, value, key, value ...);
//  2  the symbol table and every context's word table (keys are the symbol or
//     word cells of the key block; symbol.cpp and context.cpp probe them);
//  3  node-keyed tables whose entries carry extra cells;
//  4  the ownership table (kind 3 in layout).
//
// Invariants:
//  - A table is a node whose byte buffer holds the Table record; its arrays
//    and block are further series, reached through the record's nodes.
//  - The bucket count is a power of two, at least 4; the probe sequence from
//    hash & (buckets - 1) adds 1, 2, 3 ... (triangular steps) and so visits
//    every bucket once in `buckets` probes. A search ends at an empty bucket.
//  - Each bucket has 2 flag bits, 16 buckets to a 32-bit word (bucket i at
//    bits 2(i mod 16) of word i / 16): 2 empty, 1 deleted, 0 in use. Only a
//    rebuild or re-index turns deleted buckets back to empty, so `occupied`
//    (in use + deleted) bounds every probe length: the table grows before it
//    passes `bound` (0.77 of the buckets).
//  - Bucket keys are 32-bit: kind 0 a block position, or minus the 1-based
//    chain number; kinds 1, 2 the key cell's position; kinds 3, 4 the byte
//    offset of the entry in the entries block. Positions count cells from
//    the block buffer's first cell.
//  - Kind 0 keeps a position index (bucket + 1 per block position, all bits
//    set for none) so that a position finds its bucket without hashing.
//  - Kind 1 keeps each bucket's key hash beside its key (two words per
//    bucket): a probe compares only keys of its own hash, and growth never
//    reads the keys.
//  - Keys that hash a node handle (blocks, objects ...) are invalid once node
//    compaction renumbers handles: such a table carries a stamp
//    (memory::nodes_cycles + 1 when it last hashed handles) and rebuilds on
//    its next use after the counter moved, unless a collection is running.
//
// Strings hash their case-folded codepoints (upper case, as comparisons fold),
// whatever the search's case mode, so that keys equal under any comparison
// code share a probe sequence.
#pragma once

#include <cstdint>
#include <cstdio>

#include "runtime/cell.h"
#include "runtime/memory.h"
#include "runtime/murmur.h"
#include "runtime/registry.h"

namespace vyn::hash {

enum Kind : uint32_t { KIND_BLOCK = 0, KIND_MAP = 1, KIND_NAMES = 2, KIND_NODES = 3, KIND_OWNERSHIP = 4 };

enum BucketFlag : uint32_t { USED = 0, DELETED = 1, EMPTY = 2 };

struct Table {
	uint32_t live;      // keys present (buckets in use; kind 1 less removed values)
	uint32_t aux;       // kind 0: node of the position index; kinds 3, 4: entry size in bytes
	Node chains;        // kind 0: buffer of chain nodes, each a buffer of int32 positions
	Node flags;         // 2 bits per bucket
	Node keys;          // one 32-bit key per bucket
	Node block;         // the indexed block; kinds 3, 4: the entries block
	uint32_t occupied;  // live plus deleted buckets
	uint32_t buckets;
	uint32_t bound;
	uint32_t kind;
	uint32_t stamp;     // 0, or nodes_cycles + 1 when node handles were last hashed
};
static_assert(sizeof(Table) == 44);

inline Table* table_of(Node table) { return reinterpret_cast<Table*>(memory::series(table)->data()); }

// A lookup key that is a bounded view of a string: header byte KEY_VIEW,
// word 1 head, word 2 buffer node, word 3 the units to use (negative: all).
// It matches stored keys of any type.
constexpr uint32_t KEY_VIEW = 56;

// Refused shifts: more cells than this make the caller rebuild instead.
constexpr int32_t SHIFT_LIMIT = 30000;

// The hash of a key cell by its type (0 for types that are not hashed).
uint32_t hash_value(const Cell* key);
// True when the type's hash is taken from a node handle.
bool hashes_node(Type t);

// Brings a new map! key into stored form, in place; installed by the map!
// datatype. Null keeps keys as they are.
extern void (*map_key_hook)(Cell* key, Cell* map_block);

// A new table for `size` keys. `source` (null for none) is the block-like
// value to index from its head: every cell for kind 0, every key cell for
// kind 1 (a key met again has its later value copied over the earlier
// one's and the later pair taken out). Without a source, or for kinds 3
// and 4, a new block of `size` cells. `extra`: cells per entry after the
// key cell (kinds 3 and 4).
Node create(uint32_t size, const Cell* source, uint32_t kind, uint32_t extra);

// Indexes `key`, a cell of the table's block (kinds 0-2). Answers the key
// cell, or for kinds 1 and 2 the equal key already present (nothing added).
// *out becomes 2 when a kind 0 table had to grow: it was rebuilt from its
// whole block, `key` included, and the caller stops indexing; else 0.
Cell* put_entry(Node table, Cell* key, int32_t* out);
inline Cell* put(Node table, Cell* key) {
	int32_t out;
	return put_entry(table, key, &out);
}

// Where a kind 1 or 2 search stands, to continue it with get_next.
struct Probe {
	uint32_t bucket;
	uint32_t step;
	uint32_t hash;
};

// The matching cell of the block, or null.
// Kind 0: a key at a position p from `start` whose distance is a multiple of
// `skip`: without flags the smallest p >= start (distance p - start); with
// `last` the largest p >= start (same distance); with `reverse` the largest
// p < start (distance start - 1 - p). Candidates are found among the keys
// equal to `key` under code 0, and must match under `op`.
// Kinds 1, 2: the first stored key of the same type (any type for a
// KEY_VIEW key) that matches under `op`; kind 1 looks any-word keys up as
// set-word!.
Cell* get(Node table, const Cell* key, int32_t start, int32_t skip, CompareOp op, bool last, bool reverse);
// Kinds 1 and 2: the first match, recording where the search stands.
Cell* get_first(Node table, const Cell* key, CompareOp op, Probe& probe);
// The next match after the one `probe` stands on, or null.
Cell* get_next(Node table, const Cell* key, Probe& probe, CompareOp op);

// Takes a key cell of the block out. Kind 0: out of its chain (an emptied
// chain frees its bucket); kind 1: the value cell behind the key gets header
// 0 and the key stays indexed.
void delete_key(Node table, Cell* key);

// Kinds 3 and 4. put_node finds or adds the node's entry and answers its
// first extra cell; every extra cell of the entry is then unset!, for the
// caller to fill. A new entry goes at the tail of the entries block, or
// reuses the entry of the deleted bucket it takes.
Cell* put_node(Node table, Node key);
Cell* find_node(Node table, Node key);
void remove_node(Node table, Node key);
// The entry's key cell (header 2 while live, word 1 the node), from its
// first extra cell.
inline Cell* entry_key(Cell* first_extra) { return first_extra - 1; }
// Calls `visit` with the key cell of every live entry, in block order.
template <class F>
void for_each_entry(Node table, F&& visit) {
	Table* t = table_of(table);
	Series* s = memory::series(t->block);
	for (uint32_t at = 0; at + t->aux <= s->used(); at += t->aux) {
		Cell* key = reinterpret_cast<Cell*>(s->head_ptr() + at);
		if (key->header == T_UNSET) visit(key);
	}
}

// Indexes the block's cells from `start`, every `step` cells (1, or 2 for
// map! keys, which get the duplicate handling of create).
void index_block(Node table, int32_t start, int32_t step);

// A copy of the table (record, flags, keys; index and chains for kind 0)
// over `block`.
Node copy(Node table, Node block);

// Every bucket empty, counts 0, chains dropped, position index cleared;
// kinds 3 and 4 also empty their entries block.
void clear(Node table);

// Kind 0: takes `count` positions from `position` out of the index (clamped
// to the block); all of them empties the table at once.
void remove_range(Node table, int32_t position, int32_t count);

// Kind 0, after `count` cells were inserted at `position` (delta > 0) or
// removed from it (delta < 0, their keys already taken out): adds delta to
// every stored position at or after `position`. With `index`, the position
// index follows (entries inserted or removed). Answers 1, changing nothing,
// when count exceeds SHIFT_LIMIT (the caller rebuilds), else 0.
int32_t shift_keys(Node table, int32_t delta, int32_t position, int32_t count, bool index);

// Kind 0, after the `count` cells at `source` moved so that they now start at
// `destination` (the cells between closed up or opened): remaps the stored
// positions and rotates the position index alike.
void move(Node table, int32_t destination, int32_t source, int32_t count);

// Resets the table to a size for `expected` keys and indexes its whole block
// again (kinds 0-2; kinds 3 and 4 re-index their live entries).
void rebuild(Node table, uint32_t expected);

// Kinds 2, for symbols and word tables: when full, re-indexes in place at
// 16 or 32 times the bucket count. Answers the record (it stays put).
Table* grow_names(Node table);
// The bucket a name search starts from, and the next one.
inline uint32_t first_bucket(const Table* t, uint32_t h) { return h & (t->buckets - 1); }
inline uint32_t next_bucket(const Table* t, uint32_t bucket, uint32_t step) { return (bucket + step) & (t->buckets - 1); }
inline uint32_t* flag_words(const Table* t) { return reinterpret_cast<uint32_t*>(memory::series(t->flags)->data()); }
inline uint32_t* key_words(const Table* t) { return reinterpret_cast<uint32_t*>(memory::series(t->keys)->data()); }
// Words per bucket in the keys array: kind 1 pairs each key with its hash.
inline uint32_t key_stride(uint32_t kind) { return kind == KIND_MAP ? 2 : 1; }
inline uint32_t bucket_flag(const uint32_t* flags, uint32_t i) { return (flags[i >> 4] >> ((i & 15) * 2)) & 3; }
inline void set_bucket_flag(uint32_t* flags, uint32_t i, uint32_t f) {
	uint32_t shift = (i & 15) * 2;
	flags[i >> 4] = (flags[i >> 4] & ~(3u << shift)) | (f << shift);
}
// Takes an empty bucket for a new key at `position` of the block (kinds 1, 2).
inline void occupy(Table* t, uint32_t bucket, uint32_t position) {
	set_bucket_flag(flag_words(t), bucket, USED);
	key_words(t)[bucket] = position;
	t->live++;
	t->occupied++;
}

// For the collector: marks what a table holds. `buffer` marks the buffer of
// the node in *slot (rewriting the slot when the node moved) and answers
// true when it was not marked before; `block` does the same and then marks
// the cells. Kinds 3 and 4 keep their keys' series alive, not what the
// entries' extra cells refer to (the collector sweeps those entries).
struct Marker {
	bool (*buffer)(Node* slot);
	void (*block)(Node* slot);
};
void mark(Node* table, const Marker& marker);

// Lists the keys of the buckets in use, then of the deleted ones.
void dump(Node table, std::FILE* out);

// A map of 32-bit keys to 32-bit values on the C heap, for the collector's
// node relocation (no series may be made while it runs).
struct HeapMap {
	uint32_t size;     // keys present
	uint32_t* flags;   // 2 bits per bucket, as above
	uint32_t* pairs;   // key, value per bucket
	uint32_t deleted;
	uint32_t buckets;
	uint32_t bound;
};
HeapMap* heap_map_make(uint32_t requested);
void heap_map_free(HeapMap* map);
// Adds the key or replaces its value.
void heap_map_put(HeapMap* map, uint32_t key, uint32_t value);
// The key's value slot, or null.
uint32_t* heap_map_get(HeapMap* map, uint32_t key);
void heap_map_remove(HeapMap* map, uint32_t key);

}  // namespace vyn::hash
