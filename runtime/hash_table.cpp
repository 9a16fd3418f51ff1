#include "runtime/hash_table.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/case_folding.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/stack.h"
#include "runtime/symbol.h"
#include "runtime/unicode.h"

namespace vyn::hash {

void (*map_key_hook)(Cell* key, Cell* map_block) = nullptr;

namespace {

constexpr double LOAD = 0.77;
constexpr uint32_t NONE = 0xFFFFFFFFu;  // an unset position index entry

// ---------------------------------------------------------------- hashing

// Bucket counts stay below 2^28, so that array sizes in bytes fit 32 bits.
constexpr uint64_t MAX_BUCKETS = uint64_t(1) << 27;

uint32_t pow2_at_least(double x) {
	uint64_t p = 4;
	while (double(p) < x) p <<= 1;
	if (p > MAX_BUCKETS) errors::fire(errors::id::internal_no_memory);
	return uint32_t(p);
}

uint32_t bound_of(uint32_t buckets) { return uint32_t(double(buckets) * LOAD); }
uint32_t bound_rounded(uint32_t buckets) { return uint32_t(double(buckets) * LOAD + 0.5); }

inline uint32_t murmur_words(const Cell* c, int first, int count) {
	return murmur3(reinterpret_cast<const uint32_t*>(c) + first, size_t(count) * 4);
}

// Floats equal under comparison hash alike: -0.0 is taken as 0.0.
uint32_t hash_double(const Cell* c) {
	double d = cell::get_double(c);
	if (d == 0) d = 0;
	return murmur3(&d, sizeof d);
}

// Dates are equal when their instants are, whatever their zones and time
// flags: the instant is what is hashed.
uint32_t hash_date(const Cell* c) {
	double instant = double(date::day_number_of(date::packed_of(c))) * date::DAY_SECONDS + date::time_of(c);
	if (instant == 0) instant = 0;
	return murmur3(&instant, sizeof instant);
}

uint32_t hash_floats(const Cell* c, int count) {
	float f[3];
	std::memcpy(f, &c->data1, size_t(count) * 4);
	for (int i = 0; i < count; i++)
		if (f[i] == 0) f[i] = 0;
	return murmur3(f, size_t(count) * 4);
}

template <uint32_t Width>
uint32_t hash_units(const uint8_t* p, uint32_t units) {
	uint32_t h = seed;
	for (uint32_t i = 0; i < units; i++) {
		uint32_t cp = unicode::get_unit(p + size_t(i) * Width, Width);
		h = murmur_step(h, unicode::to_upper(cp));
	}
	return mix(h ^ (units * 4));
}

[[gnu::noinline]] uint32_t hash_string(const Cell* key) {
	Series* s = memory::buffer_of(key);
	uint32_t width = s->unit();
	uint32_t total = unicode::unit_count(s);
	uint32_t head = key->data1 < total ? key->data1 : total;
	uint32_t units = total - head;
	if ((key->header & TYPE_MASK) == KEY_VIEW && int32_t(key->data3) >= 0 && key->data3 < units) units = key->data3;
	const uint8_t* p = unicode::unit_at(s, head);
	switch (width) {
	case 1: return hash_units<1>(p, units);
	case 2: return hash_units<2>(p, units);
	default: return hash_units<4>(p, units);
	}
}

uint32_t hash_bytes(const Cell* key) {
	Series* s = memory::buffer_of(key);
	uint32_t used = s->used();
	uint32_t head = key->data1 < used ? key->data1 : used;
	return murmur3(s->head_ptr() + head, used - head);
}

uint32_t hash_money(const Cell* key) {
	Cell copy = *key;
	copy.header = T_MONEY | (key->header & 0x4000u);
	return murmur3(&copy, sizeof copy);
}

uint32_t hash_symbol(const Cell* key) {
	Series* name = memory::series(key->data3);
	return murmur3_ascii_lower(name->head_ptr(), name->used());
}

bool string_family(uint32_t t) {
	return t == T_STRING || t == T_FILE || t == T_URL || t == T_TAG || t == T_EMAIL || t == T_REF;
}

// ------------------------------------------------------------ the arrays

struct NodeCompactionOff {
	bool saved = memory::node_compaction;
	NodeCompactionOff() { memory::node_compaction = false; }
	~NodeCompactionOff() { memory::node_compaction = saved; }
};

Node new_words(uint32_t count, uint8_t fill) {
	Node n = memory::alloc_filled_bytes(count * 4, fill);
	memory::series(n)->tail = count * 4;
	return n;
}

inline uint32_t flag_word_count(uint32_t buckets) { return (buckets + 15) / 16; }

void fresh_arrays(Table* t, uint32_t buckets) {
	t->buckets = buckets;
	t->flags = new_words(flag_word_count(buckets), 0xAA);
	t->keys = new_words(buckets * key_stride(t->kind), t->kind == KIND_MAP ? 0xFF : 0);
}

// Kind 1 has no deleted buckets (a removal keeps its key indexed) and an
// empty bucket's key pair holds NONE: a probe reads the pair alone.
inline uint32_t state_of(bool paired, const uint32_t* flags, const uint32_t* keys, uint32_t bucket) {
	return paired ? (keys[2 * bucket] == NONE ? EMPTY : USED) : bucket_flag(flags, bucket);
}

// The bucket a new key takes: the first deleted one its probe met, else the
// empty one that ended the probe (an empty bucket adds to `occupied`).
uint32_t claim(Table* t, uint32_t reuse, uint32_t empty) {
	uint32_t b = reuse;
	if (b == NONE) {
		if (empty == NONE) errors::fire(errors::id::internal_limit_hit);
		b = empty;
		t->occupied++;
	}
	t->live++;
	set_bucket_flag(flag_words(t), b, USED);
	return b;
}

inline Series* block_of(const Table* t) { return memory::series(t->block); }
inline Cell* cells_of(const Table* t) { return block_of(t)->head_cell(); }
inline uint32_t cell_count(const Table* t) { return block_of(t)->used() / sizeof(Cell); }

// Kind 0: the position index and the chains.
inline Series* index_series(const Table* t) { return memory::series(t->aux); }
inline uint32_t* index_words(const Table* t) { return reinterpret_cast<uint32_t*>(index_series(t)->head_ptr()); }
inline uint32_t index_length(const Table* t) { return index_series(t)->used() / 4; }

inline Node* chain_list(const Table* t) { return reinterpret_cast<Node*>(memory::series(t->chains)->head_ptr()); }
inline Series* chain_of(const Table* t, uint32_t number) { return memory::series(chain_list(t)[number - 1]); }
inline int32_t* chain_positions(Series* chain) { return reinterpret_cast<int32_t*>(chain->head_ptr()); }
inline uint32_t chain_length(const Series* chain) { return chain->used() / 4; }

void append_word(Series* s, uint32_t value) {
	uint8_t* at = memory::alloc_tail_bytes(s, 4);
	std::memcpy(at, &value, 4);
}

// Grows the position index so that `position` has an entry.
void reach_index(Table* t, uint32_t position) {
	Series* s = index_series(t);
	uint32_t length = s->used() / 4;
	if (position < length) return;
	uint64_t want = uint64_t(position) + 1;
	uint64_t grown = std::max<uint64_t>(want, uint64_t(length) * 2);
	if (grown * 4 > s->size) s = memory::expand_fill(s, uint32_t(grown * 4), 0xFF);
	memory::fill(s->tail_ptr(), s->head_ptr() + want * 4, 0xFF);
	s->tail = s->head + uint32_t(want * 4);
}

inline int32_t first_position(const Table* t, uint32_t key) {
	int32_t k = int32_t(key);
	if (k >= 0) return k;
	return chain_positions(chain_of(t, uint32_t(-k)))[0];
}

// --------------------------------------------------------- comparing keys

bool has_compare(Type t) {
	switch (t) {
	case T_LOGIC: case T_NATIVE: case T_ACTION: case T_OP: case T_FUNCTION: case T_ROUTINE: return true;
	default: return registry::entry(t, A_COMPARE) != nullptr;
	}
}

template <typename Word>
inline Word word_at(const uint8_t* p) {
	Word w;
	std::memcpy(&w, p, sizeof w);
	return w;
}

// Short keys compare faster inline than through memcmp: two words that
// overlap cover 4 to 16 bytes without reading past them.
inline bool same_bytes(const uint8_t* a, const uint8_t* b, uint32_t n) {
	if (n > 16) return std::memcmp(a, b, n) == 0;
	if (n >= 8)
		return word_at<uint64_t>(a) == word_at<uint64_t>(b) && word_at<uint64_t>(a + n - 8) == word_at<uint64_t>(b + n - 8);
	if (n >= 4)
		return word_at<uint32_t>(a) == word_at<uint32_t>(b) && word_at<uint32_t>(a + n - 4) == word_at<uint32_t>(b + n - 4);
	for (uint32_t i = 0; i < n; i++)
		if (a[i] != b[i]) return false;
	return true;
}

// Keys of a type without a comparison are equal when their cells are.
bool keys_equal(const Cell* stored, const Cell* key, CompareOp op) {
	Type t = cell::type_of(stored);
	// Text keys of one type, the usual ones, go straight to the text
	// comparison their type's action would make.
	if (t == cell::type_of(key) && op != COMP_SAME &&
		registry::entry(t, A_COMPARE) == reinterpret_cast<void*>(&string::compare)) {
		Cell a = *stored, b = *key;
		string::Text x = string::text_of(&a), y = string::text_of(&b);
		// Texts of two lengths never compare equal, and the same bytes are
		// equal under any folding: a found key is settled here.
		if (x.length != y.length) return false;
		if (x.width == 1 && y.width == 1 && same_bytes(x.at, y.at, x.length)) return true;
		return string::compare_texts(x, y, op) == 0;
	}
	if (!has_compare(t))
		return (stored->header & TYPE_MASK) == (key->header & TYPE_MASK) && stored->data1 == key->data1 &&
			stored->data2 == key->data2 && stored->data3 == key->data3;
	return actions::compare_raw(stored, key, op) == 0;
}

// A stored string-family key against a KEY_VIEW key.
bool view_equal(const Cell* stored, const Cell* view, CompareOp op) {
	if (!string_family(cell::type_of(stored))) return false;
	Series* a = memory::buffer_of(stored);
	Series* b = memory::buffer_of(view);
	uint32_t a_total = unicode::unit_count(a), b_total = unicode::unit_count(b);
	uint32_t a_head = std::min(stored->data1, a_total), b_head = std::min(view->data1, b_total);
	uint32_t b_units = b_total - b_head;
	if (int32_t(view->data3) >= 0 && view->data3 < b_units) b_units = view->data3;
	if (a_total - a_head != b_units) return false;
	bool fold = op != COMP_STRICT_EQUAL && op != COMP_CASE_SORT;  // as string comparison folds
	for (uint32_t i = 0; i < b_units; i++) {
		uint32_t x = unicode::get_unit(unicode::unit_at(a, a_head + i), a->unit());
		uint32_t y = unicode::get_unit(unicode::unit_at(b, b_head + i), b->unit());
		if (fold) {
			x = unicode::to_upper(x);
			y = unicode::to_upper(y);
		}
		if (x != y) return false;
	}
	return true;
}

bool is_any_word(Type t) { return t >= T_WORD && t <= T_GET_WORD; }

// --------------------------------------------------------- the stamp

void rehash(Node table);

inline void check_stamp(Node table) {
	Table* t = table_of(table);
	if (t->stamp && t->stamp != memory::nodes_cycles + 1 && !memory::collecting) rehash(table);
}

// -------------------------------------------------- kinds 1, 2: re-index

// Moves every key in use into fresh arrays of the requested size; nothing
// happens when the live keys would not stay below the new bound.
void reindex(Table* t, uint32_t request) {
	uint32_t buckets = pow2_at_least(request);
	uint32_t bound = bound_rounded(buckets);
	if (t->live >= bound) return;
	Node old_flags = t->flags, old_keys = t->keys;
	uint32_t old_buckets = t->buckets;
	fresh_arrays(t, buckets);
	t->bound = bound;
	const uint32_t* of = reinterpret_cast<uint32_t*>(memory::series(old_flags)->data());
	const uint32_t* ok = reinterpret_cast<uint32_t*>(memory::series(old_keys)->data());
	uint32_t* nf = flag_words(t);
	uint32_t* nk = key_words(t);
	bool cached = t->kind == KIND_MAP;
	uint32_t stride = key_stride(t->kind);
	Cell* base = cells_of(t);
	uint32_t mask = buckets - 1, used = 0;
	for (uint32_t i = 0; i < old_buckets; i++) {
		if (bucket_flag(of, i) != USED) continue;
		uint32_t h = cached ? ok[i * stride + 1] : hash_value(base + ok[i * stride]);
		uint32_t b = h & mask;
		for (uint32_t step = 1; bucket_flag(nf, b) != EMPTY; step++) b = (b + step) & mask;
		set_bucket_flag(nf, b, USED);
		nk[b * stride] = ok[i * stride];
		if (cached) nk[b * stride + 1] = h;
		used++;
	}
	t->occupied = used;
}

// ------------------------------------------------ kinds 3, 4: node entries

inline Cell* entry_at(const Table* t, uint32_t offset) {
	return reinterpret_cast<Cell*>(block_of(t)->head_ptr() + offset);
}

inline bool entry_holds(const Cell* key, Node node) { return key->header == T_UNSET && key->data1 == node; }

// Fresh arrays for `request` buckets and a compacted entries block holding
// the live entries only.
void reindex_nodes(Table* t, uint32_t request) {
	uint32_t buckets = pow2_at_least(request);
	Series* old = block_of(t);
	uint32_t size = t->aux;
	uint32_t live = 0;
	for (uint32_t at = 0; at + size <= old->used(); at += size)
		if (reinterpret_cast<Cell*>(old->head_ptr() + at)->header == T_UNSET) live++;
	uint32_t bound = bound_rounded(buckets);
	while (live >= bound) {
		buckets *= 2;
		bound = bound_rounded(buckets);
	}
	Node fresh = memory::alloc_cells(std::max<uint32_t>(1, live * (size / sizeof(Cell))));
	old = block_of(t);
	Series* s = memory::series(fresh);
	for (uint32_t at = 0; at + size <= old->used(); at += size) {
		const uint8_t* entry = old->head_ptr() + at;
		if (reinterpret_cast<const Cell*>(entry)->header != T_UNSET) continue;
		std::memcpy(s->tail_ptr(), entry, size);
		s->tail += size;
	}
	t->block = fresh;
	fresh_arrays(t, buckets);
	t->bound = bound;
	uint32_t* f = flag_words(t);
	uint32_t* k = key_words(t);
	uint32_t mask = buckets - 1;
	for (uint32_t at = 0; at < s->used(); at += size) {
		uint32_t b = mix(reinterpret_cast<Cell*>(s->head_ptr() + at)->data1) & mask;
		for (uint32_t step = 1; bucket_flag(f, b) != EMPTY; step++) b = (b + step) & mask;
		set_bucket_flag(f, b, USED);
		k[b] = at;
	}
	t->live = t->occupied = live;
	t->stamp = memory::nodes_cycles + 1;
}

// The bucket holding the node's live entry, or NONE; `reuse` receives the
// first deleted bucket met (NONE when none) and `empty` the empty bucket
// that ended the search (NONE when the sequence wrapped).
uint32_t probe_node(const Table* t, Node node, uint32_t& reuse, uint32_t& empty) {
	const uint32_t* f = flag_words(t);
	const uint32_t* k = key_words(t);
	uint32_t mask = t->buckets - 1;
	uint32_t b = mix(node) & mask;
	reuse = empty = NONE;
	for (uint32_t step = 1; step <= t->buckets; step++) {
		uint32_t flag = bucket_flag(f, b);
		if (flag == EMPTY) {
			empty = b;
			return NONE;
		}
		if (flag == DELETED) {
			if (reuse == NONE) reuse = b;
		} else if (entry_holds(entry_at(t, k[b]), node)) {
			return b;
		}
		b = (b + step) & mask;
	}
	return NONE;
}

Cell* first_extra(const Table* t, uint32_t offset) { return entry_at(t, offset) + 1; }

void reset_entry(const Table* t, uint32_t offset, Node node) {
	Cell* e = entry_at(t, offset);
	cell::set(e, T_UNSET, node);
	uint32_t cells = t->aux / sizeof(Cell);
	for (uint32_t i = 1; i < cells; i++) cell::make_unset(e + i);
}

// ------------------------------------------------- kind 0: hash! indexes

// Adds `position` to the bucket's keys (making a chain of a single key).
void join_chain(Table* t, uint32_t bucket, int32_t position) {
	uint32_t* keys = key_words(t);
	int32_t k = int32_t(keys[bucket]);
	if (k >= 0) {
		Node chain = memory::alloc_series(4, 4, 0);
		Series* s = memory::series(chain);
		int32_t both[2] = {k, position};
		std::memcpy(s->data(), both, 8);
		s->tail = 8;
		Series* list = memory::series(t->chains);
		append_word(list, chain);
		keys[bucket] = uint32_t(-int32_t(memory::series(t->chains)->used() / 4));
	} else {
		append_word(chain_of(t, uint32_t(-k)), uint32_t(position));
	}
}

// Takes the position out of the index: out of its bucket's chain, freeing
// the bucket when nothing is left in it.
void unindex_position(Table* t, uint32_t position) {
	if (position >= index_length(t)) return;
	uint32_t* index = index_words(t);
	uint32_t entry = index[position];
	if (entry == NONE) return;
	index[position] = NONE;
	uint32_t bucket = entry - 1;
	uint32_t* keys = key_words(t);
	int32_t k = int32_t(keys[bucket]);
	if (k < 0) {
		Series* chain = chain_of(t, uint32_t(-k));
		int32_t* p = chain_positions(chain);
		uint32_t n = chain_length(chain);
		for (uint32_t i = 0; i < n; i++) {
			if (p[i] != int32_t(position)) continue;
			std::memmove(p + i, p + i + 1, size_t(n - i - 1) * 4);
			chain->tail -= 4;
			break;
		}
		if (chain_length(chain) > 0) return;
		chain_list(t)[-k - 1] = 0;
	}
	set_bucket_flag(flag_words(t), bucket, DELETED);
	t->live--;
}

Cell* put_block_key(Node table, Cell* key, int32_t* out) {
	Table* t = table_of(table);
	Cell* base = cells_of(t);
	uint32_t position = uint32_t(key - base);
	if (position < index_length(t) && index_words(t)[position] != NONE) return key;
	if (t->occupied >= t->bound) {
		uint32_t request = 2 * t->live < t->buckets ? t->buckets - 1 : t->buckets + 1;
		rebuild(table, request);
		*out = 2;
		return key;
	}
	Type type = cell::type_of(key);
	if (!t->stamp && hashes_node(type)) t->stamp = memory::nodes_cycles + 1;
	uint32_t* flags = flag_words(t);
	uint32_t* keys = key_words(t);
	uint32_t mask = t->buckets - 1;
	uint32_t b = hash_value(key) & mask;
	uint32_t reuse = NONE, target = NONE;
	for (uint32_t step = 1; step <= t->buckets; step++) {
		uint32_t f = bucket_flag(flags, b);
		if (f == EMPTY) {
			target = b;
			break;
		}
		if (f == DELETED) {
			if (reuse == NONE) reuse = b;
		} else {
			const Cell* other = base + first_position(t, keys[b]);
			if (cell::type_of(other) == type && keys_equal(other, key, COMP_EQUAL)) {
				join_chain(t, b, int32_t(position));
				reach_index(t, position);
				index_words(t)[position] = b + 1;
				return key;
			}
		}
		b = (b + step) & mask;
	}
	target = claim(t, reuse, target);
	keys[target] = position;
	reach_index(t, position);
	index_words(t)[position] = target + 1;
	return key;
}

// Kind 0 lookup (see get in the header): every bucket of the sequence whose
// first key equals the search key is a candidate set.
Cell* get_block_key(const Table* t, const Cell* key, int32_t start, int32_t skip, CompareOp op, bool last,
	bool reverse) {
	if (skip < 1) skip = 1;
	const uint32_t* flags = flag_words(t);
	const uint32_t* keys = key_words(t);
	Cell* base = cells_of(t);
	int32_t count = int32_t(cell_count(t));
	uint32_t mask = t->buckets - 1;
	uint32_t b = hash_value(key) & mask;
	int32_t best = -1;
	auto consider = [&](int32_t p, bool known_equal) {
		if (p >= count) return;
		int64_t distance;
		if (reverse) {
			if (p >= start) return;
			distance = int64_t(start) - 1 - p;
		} else {
			if (p < start) return;
			distance = int64_t(p) - start;
		}
		if (distance % skip) return;
		bool better = best < 0 || ((last || reverse) ? p > best : p < best);
		if (!better) return;
		if (!known_equal && !keys_equal(base + p, key, op)) return;
		best = p;
	};
	for (uint32_t step = 1; step <= t->buckets; step++) {
		uint32_t f = bucket_flag(flags, b);
		if (f == EMPTY) break;
		if (f == USED) {
			int32_t k = int32_t(keys[b]);
			int32_t first = first_position(t, keys[b]);
			if (first < count && keys_equal(base + first, key, COMP_EQUAL)) {
				if (k >= 0) {
					consider(k, op == COMP_EQUAL);
				} else {
					Series* chain = chain_of(t, uint32_t(-k));
					const int32_t* p = chain_positions(chain);
					for (uint32_t i = 0; i < chain_length(chain); i++) consider(p[i], false);
				}
			}
		}
		b = (b + step) & mask;
	}
	return best < 0 ? nullptr : base + best;
}

// -------------------------------------------------- kinds 1, 2: put and get

Cell* put_name_key(Table* t, Cell* key) {
	if (t->occupied >= t->bound) {
		uint32_t request = t->kind == KIND_MAP || 2 * t->live >= t->buckets ? t->buckets + 1 : t->buckets - 1;
		reindex(t, request);
	}
	Cell* base = cells_of(t);
	uint32_t position = uint32_t(key - base);
	Type type = cell::type_of(key);
	uint32_t* flags = flag_words(t);
	uint32_t* keys = key_words(t);
	bool cached = t->kind == KIND_MAP;
	uint32_t stride = key_stride(t->kind);
	uint32_t mask = t->buckets - 1;
	uint32_t h = hash_value(key);
	uint32_t b = h & mask;
	uint32_t reuse = NONE, target = NONE;
	for (uint32_t step = 1; step <= t->buckets; step++) {
		uint32_t f = state_of(cached, flags, keys, b);
		if (f == EMPTY) {
			target = b;
			break;
		}
		if (f == DELETED) {
			if (reuse == NONE) reuse = b;
		} else if (!cached || keys[b * stride + 1] == h) {
			Cell* other = base + keys[b * stride];
			if (other == key) return key;
			if (cell::type_of(other) == type && keys_equal(other, key, COMP_STRICT_EQUAL)) return other;
		}
		b = (b + step) & mask;
	}
	target = claim(t, reuse, target);
	keys[target * stride] = position;
	if (cached) keys[target * stride + 1] = h;
	return key;
}

// Kind 1 looks any-word keys up as set-word! (their hash is the symbol's,
// whatever the type).
Cell* search_names(const Table* t, const Cell* key, CompareOp op, Probe& probe) {
	Cell as_set_word;
	if (t->kind == KIND_MAP && is_any_word(cell::type_of(key))) {
		as_set_word = *key;
		cell::set_type(&as_set_word, T_SET_WORD);
		key = &as_set_word;
	}
	const uint32_t* flags = flag_words(t);
	const uint32_t* keys = key_words(t);
	bool cached = t->kind == KIND_MAP;
	uint32_t stride = key_stride(t->kind);
	Cell* base = cells_of(t);
	uint32_t mask = t->buckets - 1;
	bool any_type = (key->header & TYPE_MASK) == KEY_VIEW;
	Type type = cell::type_of(key);
	while (probe.step < t->buckets) {
		uint32_t f = state_of(cached, flags, keys, probe.bucket);
		if (f == EMPTY) return nullptr;
		const uint32_t* k = keys + probe.bucket * stride;
		if (f == USED && (!cached || k[1] == probe.hash)) {
			Cell* other = base + k[0];
			if (any_type ? view_equal(other, key, op) : cell::type_of(other) == type && keys_equal(other, key, op))
				return other;
		}
		probe.step++;
		probe.bucket = (probe.bucket + probe.step) & mask;
	}
	return nullptr;
}

// ------------------------------------------------- map! block indexing

// Indexes key cells from `start` by twos; a key already present takes the
// later value and the later pair leaves the block.
void index_map(Node table, uint32_t start) {
	Table* t = table_of(table);
	Cell map_block;
	cell::set(&map_block, T_BLOCK, 0, t->block, 0);
	uint32_t p = start;
	while (p < cell_count(t)) {
		Cell* key = cells_of(t) + p;
		if (map_key_hook) map_key_hook(key, &map_block);
		key = cells_of(t) + p;
		Cell* found = put_name_key(t, key);
		if (found == key) {
			p += 2;
			continue;
		}
		Series* s = block_of(t);
		Cell* base = s->head_cell();
		uint32_t count = cell_count(t);
		uint32_t pair = p + 1 < count ? 2 : 1;
		if (pair == 2) found[1] = key[1];
		std::memmove(base + p, base + p + pair, size_t(count - p - pair) * sizeof(Cell));
		s->tail -= pair * sizeof(Cell);
	}
}

void index_cells(Node table, uint32_t start, uint32_t step) {
	int32_t out = 0;
	for (uint32_t p = start; p < cell_count(table_of(table)); p += step) {
		Table* t = table_of(table);
		Cell* key = cells_of(t) + p;
		if (t->kind == KIND_BLOCK) {
			put_block_key(table, key, &out);
			if (out == 2) return;  // the rebuild indexed the whole block
		} else {
			put_name_key(t, key);
		}
	}
}

void rehash(Node table) {
	Table* t = table_of(table);
	if (t->kind >= KIND_NODES) {
		reindex_nodes(t, t->buckets - 1);
		return;
	}
	uint32_t count = cell_count(t);
	rebuild(table, t->kind == KIND_MAP ? count / 2 : count);
}

}  // namespace

// ---------------------------------------------------------------- public

bool hashes_node(Type t) {
	switch (t) {
	case T_BLOCK: case T_PAREN: case T_NATIVE: case T_ACTION: case T_OP: case T_FUNCTION: case T_PATH:
	case T_LIT_PATH: case T_SET_PATH: case T_GET_PATH: case T_OBJECT: case T_ERROR: case T_HASH: case T_MAP:
	case T_PORT: case T_IMAGE: case T_EVENT: return true;
	default: return false;
	}
}

uint32_t hash_value(const Cell* key) {
	uint32_t t = key->header & TYPE_MASK;
	if (t == T_STRING) return hash_string(key);  // the usual text key, ahead of the dispatch
	switch (t) {
	case T_UNSET: return uint32_t(-2);
	case T_NONE: return uint32_t(-1);
	case T_DATATYPE: case T_LOGIC: case T_OBJECT: case T_ERROR: case T_PORT: return mix(key->data1);
	case T_CHAR: case T_INTEGER: case T_MAP: case T_HANDLE: case T_EVENT: return mix(key->data2);
	case T_NATIVE: case T_ACTION: return mix(key->data3);
	case T_BLOCK: case T_PAREN: case T_PATH: case T_LIT_PATH: case T_SET_PATH: case T_GET_PATH: case T_HASH:
	case T_IMAGE: return murmur_words(key, 1, 2);
	case T_POINT2D: return hash_floats(key, 2);
	case T_FLOAT: case T_PERCENT: case T_TIME: return hash_double(key);
	case T_PAIR: return murmur_words(key, 2, 2);
	case T_OP: case T_FUNCTION: case T_TRIPLE: case T_TYPESET: return murmur_words(key, 1, 3);
	case T_DATE: return hash_date(key);
	case T_POINT3D: return hash_floats(key, 3);
	case T_TUPLE: return murmur3(&key->data1, std::min<uint32_t>((key->header >> 19) & 0xF, 12));
	case T_BINARY: return hash_bytes(key);
	case T_MONEY: return hash_money(key);
	case T_STRING: case T_FILE: case T_URL: case T_TAG: case T_EMAIL: case T_REF: case KEY_VIEW:
		return hash_string(key);
	case T_SYMBOL: return hash_symbol(key);
	case T_WORD: case T_SET_WORD: case T_LIT_WORD: case T_GET_WORD: case T_REFINEMENT: case T_ISSUE:
		return mix(symbol::resolve(key->data2));
	default: return 0;
	}
}

Node create(uint32_t size, const Cell* source, uint32_t kind, uint32_t extra) {
	Node table = memory::alloc_bytes(sizeof(Table));
	memory::series(table)->tail = sizeof(Table);
	Table* t = table_of(table);
	*t = Table{};
	t->kind = kind;
	if (kind == KIND_NAMES && size >= 4000) size *= 2;
	if (kind >= KIND_NODES) {
		t->aux = uint32_t(sizeof(Cell)) * (extra + 1);
		t->stamp = memory::nodes_cycles + 1;
	}
	size = std::max<uint32_t>(size, 4);
	fresh_arrays(t, pow2_at_least(double(size) / LOAD));
	t->bound = bound_of(t->buckets);
	if (kind == KIND_BLOCK) {
		t->aux = new_words(size, 0xFF);
		t->chains = memory::alloc_series(4, 4, 0);
	}
	if (kind >= KIND_NODES || !source) {
		t->block = memory::alloc_cells(size);
		return table;
	}
	t->block = source->data2;
	uint32_t head = source->data1;
	if (kind == KIND_MAP) {
		index_map(table, head);
	} else if (kind == KIND_BLOCK) {
		Cell hash_cell;
		cell::set(&hash_cell, T_HASH, head, source->data2, table);
		stack::push(&hash_cell);  // keeps the block in sight while indexing
		index_cells(table, head, 1);
		stack::pop(1);
	} else {
		index_cells(table, head, 1);
	}
	return table;
}

Cell* put_entry(Node table, Cell* key, int32_t* out) {
	*out = 0;
	check_stamp(table);
	Table* t = table_of(table);
	if (t->kind == KIND_BLOCK) return put_block_key(table, key, out);
	return put_name_key(t, key);
}

Cell* get(Node table, const Cell* key, int32_t start, int32_t skip, CompareOp op, bool last, bool reverse) {
	check_stamp(table);
	Table* t = table_of(table);
	if (t->kind == KIND_BLOCK) return get_block_key(t, key, start, skip, op, last, reverse);
	Probe probe;
	return get_first(table, key, op, probe);
}

Cell* get_first(Node table, const Cell* key, CompareOp op, Probe& probe) {
	check_stamp(table);
	Table* t = table_of(table);
	probe.hash = hash_value(key);
	probe.bucket = first_bucket(t, probe.hash);
	probe.step = 0;
	return search_names(t, key, op, probe);
}

Cell* get_next(Node table, const Cell* key, Probe& probe, CompareOp op) {
	Table* t = table_of(table);
	probe.step++;
	probe.bucket = (probe.bucket + probe.step) & (t->buckets - 1);
	return search_names(t, key, op, probe);
}

void delete_key(Node table, Cell* key) {
	check_stamp(table);
	Table* t = table_of(table);
	if (t->kind == KIND_BLOCK) {
		unindex_position(t, uint32_t(key - cells_of(t)));
	} else if (t->kind == KIND_MAP) {
		key[1].header = 0;
		if (t->live) t->live--;
	}
}

Cell* put_node(Node table, Node key) {
	check_stamp(table);
	Table* t = table_of(table);
	if (t->occupied >= t->bound) reindex_nodes(t, 2 * t->live < t->buckets ? t->buckets - 1 : t->buckets + 1);
	uint32_t reuse, empty;
	uint32_t b = probe_node(t, key, reuse, empty);
	if (b != NONE) {
		reset_entry(t, key_words(t)[b], key);
		return first_extra(t, key_words(t)[b]);
	}
	uint32_t offset;
	if (reuse != NONE) {
		offset = key_words(t)[reuse];
	} else {
		Series* s = block_of(t);
		offset = s->used();
		memory::alloc_tail_bytes(s, t->aux);
	}
	b = claim(t, reuse, empty);
	key_words(t)[b] = offset;
	reset_entry(t, offset, key);
	return first_extra(t, offset);
}

Cell* find_node(Node table, Node key) {
	check_stamp(table);
	Table* t = table_of(table);
	uint32_t reuse, empty;
	uint32_t b = probe_node(t, key, reuse, empty);
	return b == NONE ? nullptr : first_extra(t, key_words(t)[b]);
}

void remove_node(Node table, Node key) {
	check_stamp(table);
	Table* t = table_of(table);
	uint32_t reuse, empty;
	uint32_t b = probe_node(t, key, reuse, empty);
	if (b == NONE) return;
	Cell* e = entry_at(t, key_words(t)[b]);
	e->header = 0;
	e->data1 = 0;
	set_bucket_flag(flag_words(t), b, DELETED);
	t->live--;
}

void index_block(Node table, int32_t start, int32_t step) {
	if (start < 0) start = 0;
	if (table_of(table)->kind == KIND_MAP && step == 2)
		index_map(table, uint32_t(start));
	else
		index_cells(table, uint32_t(start), step < 1 ? 1 : uint32_t(step));
}

Node copy(Node table, Node block) {
	Node fresh = memory::copy_series(memory::series(table));
	Table* t = table_of(fresh);
	t->flags = memory::copy_series(memory::series(t->flags));
	t->keys = memory::copy_series(memory::series(t->keys));
	t->block = block;
	if (t->kind == KIND_BLOCK) {
		t->aux = memory::copy_series(memory::series(t->aux));
		t->chains = memory::copy_series(memory::series(t->chains));
		Series* list = memory::series(t->chains);
		for (uint32_t i = 0; i < list->used() / 4; i++) {
			Node* slot = reinterpret_cast<Node*>(memory::series(t->chains)->head_ptr()) + i;
			if (*slot) {
				Node chain = memory::copy_series(memory::series(*slot));
				reinterpret_cast<Node*>(memory::series(t->chains)->head_ptr())[i] = chain;
			}
		}
	}
	return fresh;
}

void clear(Node table) {
	Table* t = table_of(table);
	t->live = t->occupied = 0;
	uint32_t* f = flag_words(t);
	std::memset(f, 0xAA, size_t(flag_word_count(t->buckets)) * 4);
	if (t->kind == KIND_BLOCK) {
		memory::series(t->chains)->tail = memory::series(t->chains)->head;
		Series* index = index_series(t);
		memory::fill(index->head_ptr(), index->tail_ptr(), 0xFF);
	} else if (t->kind == KIND_MAP) {
		std::memset(key_words(t), 0xFF, size_t(t->buckets) * 2 * 4);
	} else if (t->kind >= KIND_NODES) {
		Series* s = block_of(t);
		s->tail = s->head;
	}
}

void remove_range(Node table, int32_t position, int32_t count) {
	check_stamp(table);
	Table* t = table_of(table);
	if (t->kind != KIND_BLOCK) return;
	int32_t cells = int32_t(cell_count(t));
	if (position < 0) position = 0;
	if (count <= 0 || position >= cells) return;
	if (count > cells - position) count = cells - position;
	if (position == 0 && count == cells) {
		clear(table);
		return;
	}
	for (int32_t p = position; p < position + count; p++) unindex_position(t, uint32_t(p));
}

namespace {

// Applies `to` (old position -> new position) to every stored position in
// [lo, hi), finding them through the position index, each chain once.
template <class F>
void remap_positions(Table* t, uint32_t lo, uint32_t hi, F&& to) {
	uint32_t length = index_length(t);
	if (hi > length) hi = length;
	if (lo >= hi) return;
	const uint32_t* index = index_words(t);
	uint32_t* keys = key_words(t);
	std::vector<bool> done(memory::series(t->chains)->used() / 4 + 1);
	for (uint32_t p = lo; p < hi; p++) {
		if (index[p] == NONE) continue;
		uint32_t bucket = index[p] - 1;
		int32_t k = int32_t(keys[bucket]);
		if (k >= 0) {
			keys[bucket] = uint32_t(to(k));
			continue;
		}
		if (done[uint32_t(-k)]) continue;
		done[uint32_t(-k)] = true;
		Series* chain = chain_of(t, uint32_t(-k));
		int32_t* positions = chain_positions(chain);
		for (uint32_t i = 0; i < chain_length(chain); i++)
			if (uint32_t(positions[i]) >= lo && uint32_t(positions[i]) < hi) positions[i] = to(positions[i]);
	}
}

}  // namespace

int32_t shift_keys(Node table, int32_t delta, int32_t position, int32_t count, bool index) {
	if (count > SHIFT_LIMIT) return 1;
	Table* t = table_of(table);
	if (t->kind != KIND_BLOCK || delta == 0 || position < 0) return 0;
	uint32_t from = uint32_t(position) + (delta < 0 ? uint32_t(-int64_t(delta)) : 0);
	remap_positions(t, from, index_length(t), [delta](int32_t p) { return p + delta; });
	if (!index) return 0;
	uint32_t length = index_length(t);
	if (uint32_t(position) >= length) return 0;
	if (delta > 0) {
		reach_index(t, length + uint32_t(delta) - 1);
		uint32_t* words = index_words(t);
		std::memmove(words + position + delta, words + position, size_t(length - uint32_t(position)) * 4);
		memory::fill(reinterpret_cast<uint8_t*>(words + position), reinterpret_cast<uint8_t*>(words + position + delta),
			0xFF);
	} else {
		uint32_t gone = std::min<uint32_t>(uint32_t(-int64_t(delta)), length - uint32_t(position));
		uint32_t* words = index_words(t);
		std::memmove(words + position, words + position + gone, size_t(length - uint32_t(position) - gone) * 4);
		index_series(t)->tail -= gone * 4;
	}
	return 0;
}

void move(Node table, int32_t destination, int32_t source, int32_t count) {
	Table* t = table_of(table);
	if (t->kind != KIND_BLOCK || count <= 0 || destination == source || destination < 0 || source < 0) return;
	uint32_t d = uint32_t(destination), s = uint32_t(source), n = uint32_t(count);
	uint32_t lo = std::min(d, s), hi = std::max(d, s) + n;
	reach_index(t, hi - 1);
	if (d > s) {
		remap_positions(t, lo, hi, [=](int32_t p) {
			return uint32_t(p) < s + n ? p + int32_t(d - s) : p - int32_t(n);
		});
		uint32_t* words = index_words(t);
		std::rotate(words + s, words + s + n, words + d + n);
	} else {
		remap_positions(t, lo, hi, [=](int32_t p) {
			return uint32_t(p) >= s ? p - int32_t(s - d) : p + int32_t(n);
		});
		uint32_t* words = index_words(t);
		std::rotate(words + d, words + s, words + s + n);
	}
}

void rebuild(Node table, uint32_t expected) {
	NodeCompactionOff guard;
	Table* t = table_of(table);
	if (t->kind >= KIND_NODES) {
		reindex_nodes(t, uint32_t(std::min<double>(double(expected) * 1.5, double(MAX_BUCKETS))));
		return;
	}
	bool had_stamp = t->stamp != 0;
	t->live = t->occupied = t->stamp = 0;
	fresh_arrays(t, pow2_at_least(double(expected) * 1.5));
	t->bound = bound_of(t->buckets);
	if (t->kind == KIND_BLOCK) {
		memory::series(t->chains)->tail = memory::series(t->chains)->head;
		t->aux = new_words(cell_count(t), 0xFF);
	}
	if (had_stamp) t->stamp = memory::nodes_cycles + 1;
	index_cells(table, 0, t->kind == KIND_MAP ? 2 : 1);
}

Table* grow_names(Node table) {
	Table* t = table_of(table);
	if (t->occupied >= t->bound) {
		uint64_t buckets = 2 * uint64_t(t->live) < t->buckets ? t->buckets - 1 : uint64_t(t->buckets) + 1;
		reindex(t, uint32_t(std::min<uint64_t>(buckets * 16, MAX_BUCKETS)));
	}
	return t;
}

void mark(Node* table, const Marker& m) {
	if (!*table || !m.buffer(table)) return;
	Table* t = table_of(*table);
	if (t->kind == KIND_BLOCK) {
		m.buffer(&t->aux);
		if (m.buffer(&t->chains)) {
			Series* list = memory::series(t->chains);
			Node* slots = reinterpret_cast<Node*>(list->head_ptr());
			for (uint32_t i = 0; i < list->used() / 4; i++)
				if (slots[i]) m.buffer(slots + i);
		}
	}
	m.buffer(&t->flags);
	m.buffer(&t->keys);
	if (t->kind < KIND_NODES) {
		m.block(&t->block);
		return;
	}
	for_each_entry(*table, [&](Cell* key) {
		if (!key->data1) return;
		if (memory::series(key->data1)->unit() == sizeof(Cell))
			m.block(&key->data1);
		else
			m.buffer(&key->data1);
	});
	m.buffer(&t->block);
}

void dump(Node table, std::FILE* out) {
	Table* t = table_of(table);
	const uint32_t* f = flag_words(t);
	const uint32_t* k = key_words(t);
	for (uint32_t pass = USED; pass <= DELETED; pass++) {
		std::fputs(pass == USED ? "== Alive keys ==\n" : "== Deleted keys ==\n", out);
		for (uint32_t b = 0; b < t->buckets; b++)
			if (bucket_flag(f, b) == pass) std::fprintf(out, "%u: %d\n", b, int32_t(k[b * key_stride(t->kind)]));
	}
}

// -------------------------------------------------------- C-heap map

namespace {

void heap_map_arrays(HeapMap* map, uint32_t requested) {
	map->buckets = pow2_at_least(double(std::max<uint32_t>(requested, 4)) / LOAD);
	map->bound = bound_of(map->buckets);
	map->flags = static_cast<uint32_t*>(std::malloc(size_t(flag_word_count(map->buckets)) * 4));
	map->pairs = static_cast<uint32_t*>(std::calloc(size_t(map->buckets) * 2, 4));
	if (!map->flags || !map->pairs) errors::fire(errors::id::internal_no_memory);
	std::memset(map->flags, 0xAA, size_t(flag_word_count(map->buckets)) * 4);
	map->size = map->deleted = 0;
}

// The key's bucket; else NONE, with `free` the bucket a new key takes.
uint32_t heap_map_probe(const HeapMap* map, uint32_t key, uint32_t& free) {
	uint32_t mask = map->buckets - 1;
	uint32_t b = mix(key) & mask;
	free = NONE;
	for (uint32_t step = 1; step <= map->buckets; step++) {
		uint32_t f = bucket_flag(map->flags, b);
		if (f == EMPTY) {
			if (free == NONE) free = b;
			return NONE;
		}
		if (f == DELETED) {
			if (free == NONE) free = b;
		} else if (map->pairs[2 * b] == key) {
			return b;
		}
		b = (b + step) & mask;
	}
	return NONE;
}

void heap_map_grow(HeapMap* map) {
	HeapMap old = *map;
	heap_map_arrays(map, 2 * old.size < old.buckets ? old.buckets - 1 : old.buckets + 1);
	for (uint32_t b = 0; b < old.buckets; b++) {
		if (bucket_flag(old.flags, b) != USED) continue;
		uint32_t free;
		heap_map_probe(map, old.pairs[2 * b], free);
		set_bucket_flag(map->flags, free, USED);
		map->pairs[2 * free] = old.pairs[2 * b];
		map->pairs[2 * free + 1] = old.pairs[2 * b + 1];
		map->size++;
	}
	std::free(old.flags);
	std::free(old.pairs);
}

}  // namespace

HeapMap* heap_map_make(uint32_t requested) {
	auto* map = static_cast<HeapMap*>(std::malloc(sizeof(HeapMap)));
	if (!map) errors::fire(errors::id::internal_no_memory);
	heap_map_arrays(map, requested);
	return map;
}

void heap_map_free(HeapMap* map) {
	if (!map) return;
	std::free(map->flags);
	std::free(map->pairs);
	std::free(map);
}

void heap_map_put(HeapMap* map, uint32_t key, uint32_t value) {
	uint32_t free;
	uint32_t b = heap_map_probe(map, key, free);
	if (b != NONE) {
		map->pairs[2 * b + 1] = value;
		return;
	}
	if (map->size + map->deleted >= map->bound) {
		heap_map_grow(map);
		heap_map_probe(map, key, free);
	}
	if (bucket_flag(map->flags, free) == DELETED) map->deleted--;
	set_bucket_flag(map->flags, free, USED);
	map->pairs[2 * free] = key;
	map->pairs[2 * free + 1] = value;
	map->size++;
}

uint32_t* heap_map_get(HeapMap* map, uint32_t key) {
	uint32_t free;
	uint32_t b = heap_map_probe(map, key, free);
	return b == NONE ? nullptr : map->pairs + 2 * b + 1;
}

void heap_map_remove(HeapMap* map, uint32_t key) {
	uint32_t free;
	uint32_t b = heap_map_probe(map, key, free);
	if (b == NONE) return;
	set_bucket_flag(map->flags, b, DELETED);
	map->size--;
	map->deleted++;
}

}  // namespace vyn::hash
