#include "runtime/sorting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <numeric>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "runtime/errors.h"
#include "runtime/evaluator/stack.h"
#include "tests/unit/raised.h"

using namespace vyn;

namespace {

using Entry = void (*)(void*, int32_t, int32_t, uint32_t, uint32_t, sorting::Comparator, const sorting::Moving*);

struct Algo {
	const char* name;
	Entry entry;
	bool stable;
};
const Algo algos[] = {
	{"merge_sort", sorting::merge_sort, true},
	{"quick_sort", sorting::quick_sort, false},
};

// A table of records: `size` bytes each, the key in the first four bytes
// (or fewer for small records), the rest identifying the record.
struct Table {
	int32_t size;
	std::vector<unsigned char> bytes;

	int32_t count() const { return int32_t(bytes.size() / size_t(size)); }
	unsigned char* at(int32_t i) { return bytes.data() + size_t(i) * size_t(size); }
	// Whole records as comparable values (at most 8 bytes each: enough for
	// the keyed tables; wider ones are checked through strings).
	std::vector<uint64_t> records() const {
		std::vector<uint64_t> out(bytes.size() / size_t(size), 0);
		for (size_t i = 0; i < out.size(); i++)
			std::memcpy(&out[i], bytes.data() + i * size_t(size), std::min(size_t(size), sizeof(uint64_t)));
		return out;
	}
};

int32_t key_of(const void* record, int32_t size) {
	int32_t key = 0;
	std::memcpy(&key, record, size_t(std::min(size, 4)));
	return key;
}

// What the comparators do besides comparing keys.
struct Probe {
	int32_t size = 8;
	uint64_t calls = 0;
	uint64_t throw_at = 0;  // raise Throw on this call (0: never)
	uint64_t stop_at = 0;   // set errors::pending on this call
	std::function<void()> after;  // runs inside each call, after the records are read
};
Probe probe;

int32_t compare_keys(const void* a, const void* b, uint32_t, uint32_t) {
	int32_t ka = key_of(a, probe.size), kb = key_of(b, probe.size);
	++probe.calls;
	if (probe.after) probe.after();
	if (probe.calls == probe.throw_at) throw Throw{THROW_ERROR};
	if (probe.calls == probe.stop_at) errors::pending = THROW_BREAK;
	return ka < kb ? -1 : ka > kb ? 1 : 0;
}

// Records of 8 bytes: a key, then the record's input position.
Table make_keyed(const std::vector<int32_t>& keys) {
	Table t{8, std::vector<unsigned char>(keys.size() * 8)};
	for (int32_t i = 0; i < int32_t(keys.size()); i++) {
		std::memcpy(t.at(i), &keys[size_t(i)], 4);
		std::memcpy(t.at(i) + 4, &i, 4);
	}
	return t;
}

std::vector<uint64_t> stable_expected(const Table& t) {
	auto r = t.records();
	std::stable_sort(r.begin(), r.end(), [&](const uint64_t& a, const uint64_t& b) {
		return key_of(&a, t.size) < key_of(&b, t.size);
	});
	return r;
}

// Sorts with the entry and checks: stable entries give exactly what
// std::stable_sort gives; the other gives sorted keys over the same records.
void check_sort(const Algo& algo, Table t, const std::string& what) {
	auto expected = stable_expected(t);
	probe = Probe{};
	probe.size = t.size;
	algo.entry(t.bytes.data(), t.count(), t.size, 0, 0, compare_keys, nullptr);
	auto got = t.records();
	if (algo.stable) {
		ASSERT_EQ(got, expected) << algo.name << " " << what;
		return;
	}
	for (size_t i = 1; i < got.size(); i++)
		ASSERT_LE(key_of(&got[i - 1], t.size), key_of(&got[i], t.size))
			<< algo.name << " " << what << " at " << i;
	std::sort(got.begin(), got.end());
	std::sort(expected.begin(), expected.end());
	ASSERT_EQ(got, expected) << algo.name << " " << what << ": not a permutation";
}

bool is_permutation_of(const Table& t, std::vector<uint64_t> input) {
	auto got = t.records();
	std::sort(got.begin(), got.end());
	std::sort(input.begin(), input.end());
	return got == input;
}

// Key patterns over n records.
struct Pattern {
	const char* name;
	std::function<int32_t(int32_t i, int32_t n, std::mt19937& rng)> key;
};
const Pattern patterns[] = {
	{"random", [](int32_t, int32_t, std::mt19937& r) { return int32_t(r()); }},
	{"random-16", [](int32_t, int32_t, std::mt19937& r) { return int32_t(r() % 16); }},
	{"random-2", [](int32_t, int32_t, std::mt19937& r) { return int32_t(r() % 2); }},
	{"all-equal", [](int32_t, int32_t, std::mt19937&) { return 7; }},
	{"sorted", [](int32_t i, int32_t, std::mt19937&) { return i; }},
	{"reversed", [](int32_t i, int32_t n, std::mt19937&) { return n - i; }},
	{"reversed-pairs", [](int32_t i, int32_t n, std::mt19937&) { return (n - i) / 2; }},
	{"organ-pipe", [](int32_t i, int32_t n, std::mt19937&) { return std::min(i, n - i); }},
	{"sawtooth", [](int32_t i, int32_t, std::mt19937&) { return i % 37; }},
	{"nearly-sorted", [](int32_t i, int32_t, std::mt19937& r) { return r() % 50 ? i : int32_t(r() % 100000); }},
	{"nearly-reversed", [](int32_t i, int32_t, std::mt19937& r) { return r() % 50 ? -i : int32_t(r() % 100000); }},
	{"sorted-then-random", [](int32_t i, int32_t n, std::mt19937& r) { return i < n * 9 / 10 ? i : int32_t(r() % 100000); }},
	{"random-then-sorted", [](int32_t i, int32_t n, std::mt19937& r) { return i < n / 10 ? int32_t(r() % 100000) : i; }},
	{"descending-runs", [](int32_t i, int32_t, std::mt19937&) { return (i / 100) * 1000 - i % 100; }},
	{"sorted-blocks", [](int32_t i, int32_t, std::mt19937&) { return (i * 7919) % 5003; }},
};

const Pattern& pattern_named(const std::string& name) {
	for (const Pattern& p : patterns)
		if (name == p.name) return p;
	throw std::invalid_argument(name);
}

std::vector<int32_t> keys_for(const Pattern& p, int32_t n, uint32_t seed) {
	std::mt19937 rng(seed);
	std::vector<int32_t> keys(size_t(n), 0);
	for (int32_t i = 0; i < n; i++) keys[size_t(i)] = p.key(i, n, rng);
	return keys;
}

TEST(Sorting, FewerThanTwoRecordsCallNoComparator) {
	for (const Algo& algo : algos)
		for (int32_t n : {0, 1, -5}) {
			Table t = make_keyed({3});
			probe = Probe{};
			algo.entry(t.bytes.data(), n, 8, 0, 0, compare_keys, nullptr);
			EXPECT_EQ(probe.calls, 0u) << algo.name << " n " << n;
		}
}

TEST(Sorting, PatternsAndSizesMatchStableSort) {
	// Sizes around the thresholds: insertion only (7), partition (8),
	// minimum run (24), one pass (511), sampled passes (512 and up).
	const int32_t sizes[] = {2, 3, 7, 8, 9, 23, 24, 25, 49, 100, 511, 512, 513, 1000, 4097, 20000, 70000};
	for (const Algo& algo : algos)
		for (const Pattern& p : patterns)
			for (int32_t n : sizes)
				check_sort(algo, make_keyed(keys_for(p, n, uint32_t(n))), std::string(p.name) + " n " + std::to_string(n));
}

TEST(Sorting, ManySeedsOfRandomInput) {
	for (const Algo& algo : algos)
		for (uint32_t seed = 1; seed <= 20; seed++)
			for (int32_t n : {31, 200, 1500, 9000})
				for (uint32_t range : {3u, 100u, 0u}) {
					std::mt19937 rng(seed * 7 + range);
					std::vector<int32_t> keys(size_t(n), 0);
					for (auto& k : keys) k = range ? int32_t(rng() % range) : int32_t(rng());
					check_sort(algo, make_keyed(keys),
						"seed " + std::to_string(seed) + " n " + std::to_string(n) + " range " + std::to_string(range));
				}
}

TEST(Sorting, LargeRandomInput) {
	for (const Algo& algo : algos) {
		check_sort(algo, make_keyed(keys_for(pattern_named("random"), 300000, 99)), "random 300k");
	}
}

TEST(Sorting, OrderedInputsTakeOneComparisonPerPair) {
	struct Case {
		const char* name;
		std::function<int32_t(int32_t, int32_t)> key;
	} cases[] = {
		{"ascending", [](int32_t i, int32_t) { return i; }},
		{"strictly descending", [](int32_t i, int32_t n) { return n - i; }},
		{"all equal", [](int32_t, int32_t) { return 5; }},
		{"ascending with equal neighbours", [](int32_t i, int32_t) { return i / 3; }},
	};
	for (const Algo& algo : algos)
		for (const Case& c : cases)
			for (int32_t n : {2, 10, 1000, 100000}) {
				std::vector<int32_t> keys(size_t(n), 0);
				for (int32_t i = 0; i < n; i++) keys[size_t(i)] = c.key(i, n);
				Table t = make_keyed(keys);
				auto expected = stable_expected(t);
				probe = Probe{};
				algo.entry(t.bytes.data(), n, 8, 0, 0, compare_keys, nullptr);
				EXPECT_EQ(probe.calls, uint64_t(n - 1)) << algo.name << " " << c.name << " n " << n;
				EXPECT_EQ(t.records(), expected) << algo.name << " " << c.name << " n " << n;
			}
}

TEST(Sorting, NearlyOrderedInputsNeedFewComparisons) {
	// A few records out of place in a long ordered input: the unstable entry
	// keeps the ordered bulk as its sample instead of sorting it again.
	const int32_t n = 200000;
	struct Case {
		const char* name;
		int32_t sign;
		int32_t displaced;
	} cases[] = {
		{"ascending, 10 displaced", 1, 10},
		{"descending, 10 displaced", -1, 10},
		{"ascending, 200 displaced", 1, 200},
	};
	for (const Case& c : cases) {
		std::mt19937 rng(5);
		std::vector<int32_t> keys(n, 0);
		for (int32_t i = 0; i < n; i++) keys[size_t(i)] = c.sign * i;
		for (int32_t k = 0; k < c.displaced; k++) std::swap(keys[rng() % n], keys[rng() % n]);
		Table t = make_keyed(keys);
		check_sort(algos[1], t, c.name);
		EXPECT_LT(probe.calls, uint64_t(4) * n) << c.name;
	}
}

TEST(Sorting, StableSortKeepsEqualRecordsInInputOrder) {
	struct Case {
		const char* name;
		std::vector<int32_t> keys;
		std::vector<int32_t> order;  // input positions, in output order
	} cases[] = {
		{"descending with equal neighbours", {5, 3, 3, 1, 1, 0}, {5, 3, 4, 1, 2, 0}},
		{"all equal", {2, 2, 2, 2}, {0, 1, 2, 3}},
		{"two keys interleaved", {1, 0, 1, 0, 1, 0}, {1, 3, 5, 0, 2, 4}},
	};
	for (const Case& c : cases) {
		Table t = make_keyed(c.keys);
		probe = Probe{};
		sorting::merge_sort(t.bytes.data(), t.count(), 8, 0, 0, compare_keys, nullptr);
		std::vector<int32_t> order;
		for (int32_t i = 0; i < t.count(); i++) order.push_back(key_of(t.at(i) + 4, 8));
		EXPECT_EQ(order, c.order) << c.name;
	}
	// A comparator that finds everything equal leaves the input as it is.
	Table t = make_keyed(keys_for(pattern_named("random"), 5000, 3));
	auto before = t.bytes;
	sorting::merge_sort(
		t.bytes.data(), t.count(), 8, 0, 0, [](const void*, const void*, uint32_t, uint32_t) { return 0; }, nullptr);
	EXPECT_EQ(t.bytes, before);
}

std::vector<std::string> wide_records(const Table& t) {
	std::vector<std::string> out;
	for (size_t i = 0; i < t.bytes.size(); i += size_t(t.size))
		out.emplace_back(reinterpret_cast<const char*>(t.bytes.data() + i), size_t(t.size));
	return out;
}

// Records of every size move whole: the key is in the first byte, the other
// bytes come from the record's identity.
TEST(Sorting, RecordSizes) {
	for (const Algo& algo : algos)
		for (int32_t size : {1, 2, 3, 4, 5, 6, 7, 8, 12, 16, 20, 32, 48, 64})
			for (int32_t n : {60, 700, 5000}) {
				std::mt19937 rng(uint32_t(size * 31 + n));
				Table t{size, std::vector<unsigned char>(size_t(n) * size_t(size))};
				for (int32_t i = 0; i < n; i++) {
					t.at(i)[0] = (unsigned char)(rng() % 11);
					for (int32_t b = 1; b < size; b++) t.at(i)[b] = (unsigned char)((i >> (8 * ((b - 1) % 3))) + b);
				}
				// Only the first byte orders records here.
				auto expected = wide_records(t);
				std::stable_sort(expected.begin(), expected.end(),
					[](const std::string& a, const std::string& b) { return (unsigned char)a[0] < (unsigned char)b[0]; });
				algo.entry(
					t.bytes.data(), n, size, 0, 0,
					[](const void* a, const void* b, uint32_t, uint32_t) {
						return int32_t(*static_cast<const unsigned char*>(a)) - *static_cast<const unsigned char*>(b);
					},
					nullptr);
				std::string what = std::string(algo.name) + " size " + std::to_string(size) + " n " + std::to_string(n);
				auto got = wide_records(t);
				if (algo.stable) {
					ASSERT_EQ(got, expected) << what;
				} else {
					for (int32_t i = 1; i < n; i++) ASSERT_LE(t.at(i - 1)[0], t.at(i)[0]) << what;
					std::sort(got.begin(), got.end());
					std::sort(expected.begin(), expected.end());
					ASSERT_EQ(got, expected) << what << ": not a permutation";
				}
			}
}

// Answers decided as the comparisons come (after a first stretch of
// coin flips that defeats the order detection): the record that looks like
// the pivot is fixed below all undecided ones, which drives a plain
// quicksort quadratic. The answers stay consistent, so the result is sorted.
struct Adversary {
	std::vector<int32_t> value;
	int32_t undecided = 0, next = 0, candidate = 0;
	uint64_t flips = 0;
	std::mt19937 rng{3};
};
Adversary adversary;

int32_t compare_adversarial(const void* a, const void* b, uint32_t, uint32_t) {
	Adversary& s = adversary;
	int32_t x, y;
	std::memcpy(&x, a, 4);
	std::memcpy(&y, b, 4);
	if (s.value[size_t(x)] == s.undecided && s.value[size_t(y)] == s.undecided) {
		bool fix_x = s.flips ? (s.rng() & 1) != 0 : x == s.candidate;
		s.value[size_t(fix_x ? x : y)] = s.next++;
	}
	if (s.flips) s.flips--;
	if (s.value[size_t(x)] == s.undecided)
		s.candidate = x;
	else if (s.value[size_t(y)] == s.undecided)
		s.candidate = y;
	probe.calls++;
	return s.value[size_t(x)] < s.value[size_t(y)] ? -1 : s.value[size_t(x)] > s.value[size_t(y)] ? 1 : 0;
}

TEST(Sorting, AdversarialComparatorStaysWithinNLogN) {
	for (const Algo& algo : algos)
		for (int32_t n : {2000, 60000}) {
			adversary = Adversary{};
			adversary.value.assign(size_t(n), n);
			adversary.undecided = n;
			adversary.flips = uint64_t(n) + uint64_t(n) / 90;
			std::vector<int32_t> ids(size_t(n), 0);
			std::iota(ids.begin(), ids.end(), 0);
			probe = Probe{};
			algo.entry(ids.data(), n, 4, 0, 0, compare_adversarial, nullptr);
			for (int32_t i = 1; i < n; i++)
				ASSERT_LE(adversary.value[size_t(ids[size_t(i - 1)])], adversary.value[size_t(ids[size_t(i)])]) << algo.name;
			EXPECT_LT(double(probe.calls), 5 * n * std::log2(n)) << algo.name << " n " << n;
		}
}

// A comparator whose answers contradict each other (a user function may do
// that) must not make the sorts leave the area or lose records.
TEST(Sorting, InconsistentComparatorLeavesAPermutation) {
	static std::mt19937 rng;
	for (const Algo& algo : algos)
		for (int32_t n : {5, 30, 600, 5000, 100000})
			for (uint32_t seed : {1u, 2u, 3u}) {
				rng.seed(seed);
				Table t = make_keyed(keys_for(pattern_named("random"), n, seed));
				auto input = t.records();
				algo.entry(
					t.bytes.data(), n, 8, 0, 0,
					[](const void*, const void*, uint32_t, uint32_t) { return int32_t(rng() % 3) - 1; }, nullptr);
				ASSERT_TRUE(is_permutation_of(t, input)) << algo.name << " n " << n;
			}
}

// ---- the flags word ----

static_assert(sorting::make_flags(true, true, 3) == (1u | 2u | (3u << 2)));
static_assert(sorting::make_flags(false, false, 0) == 0u);
static_assert(sorting::reversed(1) && !sorting::reversed(2));
static_assert(sorting::whole(2) && !sorting::whole(1));
static_assert(sorting::amount(sorting::make_flags(true, false, 0x3FFFFFFF)) == 0x3FFFFFFF);

// Records of four int32 fields compared as the flags word says.
int32_t compare_fields(const void* a, const void* b, uint32_t, uint32_t flags) {
	probe.calls++;
	return sorting::compare_record(a, b, flags, 4, [](const void* fa, const void* fb) {
		int32_t x, y;
		std::memcpy(&x, fa, 4);
		std::memcpy(&y, fb, 4);
		return x < y ? -1 : x > y ? 1 : 0;
	});
}

TEST(Sorting, FlagsWordSelectsFieldsAndDirection) {
	constexpr int32_t FIELDS = 4;
	struct Case {
		const char* name;
		uint32_t flags;
		int32_t first, count;  // the fields compared, in order
		bool descending;
	} cases[] = {
		{"first field", sorting::make_flags(false, false, 0), 0, 1, false},
		{"third field", sorting::make_flags(false, false, 2), 2, 1, false},
		{"last field reversed", sorting::make_flags(true, false, 3), 3, 1, true},
		{"whole record", sorting::make_flags(false, true, 4), 0, 4, false},
		{"whole record reversed", sorting::make_flags(true, true, 4), 0, 4, true},
		{"first two fields", sorting::make_flags(false, true, 2), 0, 2, false},
		{"reversed alone", sorting::make_flags(true, false, 0), 0, 1, true},
	};
	for (const Algo& algo : algos)
		for (const Case& c : cases)
			for (int32_t n : {9, 300, 6000}) {
				std::mt19937 rng(uint32_t(n) + c.flags);
				using Rec = std::array<int32_t, FIELDS>;
				std::vector<Rec> recs(static_cast<size_t>(n));
				for (auto& r : recs)
					for (auto& f : r) f = int32_t(rng() % 3) - 1;
				auto less = [&](const std::array<int32_t, FIELDS>& a, const std::array<int32_t, FIELDS>& b) {
					const auto& x = c.descending ? b : a;
					const auto& y = c.descending ? a : b;
					return std::lexicographical_compare(x.begin() + c.first, x.begin() + c.first + c.count,
						y.begin() + c.first, y.begin() + c.first + c.count);
				};
				auto expected = recs;
				std::stable_sort(expected.begin(), expected.end(), less);
				auto got = recs;
				probe = Probe{};
				algo.entry(got.data(), n, FIELDS * 4, 0, c.flags, compare_fields, nullptr);
				std::string what = std::string(algo.name) + " " + c.name + " n " + std::to_string(n);
				if (algo.stable) {
					EXPECT_EQ(got, expected) << what;
				} else {
					for (int32_t i = 1; i < n; i++) ASSERT_FALSE(less(got[size_t(i)], got[size_t(i - 1)])) << what;
					std::sort(got.begin(), got.end());
					std::sort(expected.begin(), expected.end());
					EXPECT_EQ(got, expected) << what;
				}
			}
}

// ---- leaving through the comparator ----

struct Input {
	const char* pattern;
	int32_t n;
};
const Input exit_inputs[] = {
	{"random", 3000}, {"random", 40000}, {"random-2", 5000}, {"sorted-then-random", 20000},
	{"nearly-sorted", 20000}, {"reversed-pairs", 3000}, {"organ-pipe", 600},
};
const uint64_t exit_calls[] = {1, 2, 23, 24, 100, 777, 5000, 30000, 200000};

TEST(Sorting, ExceptionFromComparatorLeavesAPermutation) {
	int thrown = 0;
	for (const Algo& algo : algos)
		for (const Input& in : exit_inputs)
			for (uint64_t k : exit_calls) {
				Table t = make_keyed(keys_for(pattern_named(in.pattern), in.n, 17));
				auto input = t.records();
				probe = Probe{};
				probe.throw_at = k;
				try {
					algo.entry(t.bytes.data(), t.count(), 8, 0, 0, compare_keys, nullptr);
				} catch (const Throw& e) {
					EXPECT_EQ(e.code, THROW_ERROR);
					thrown++;
				}
				ASSERT_TRUE(is_permutation_of(t, input))
					<< algo.name << " " << in.pattern << " n " << in.n << " throw at " << k;
			}
	EXPECT_GT(thrown, 80);
}

// A comparator that moves the records (and the merge scratch) on every
// call, as a collection may. The old buffers are filled with garbage and
// freed a few moves later, so a sort that kept an address reads garbage and
// loses what it writes (and touches freed memory in the asan build).
struct Mover {
	std::unique_ptr<unsigned char[]> records, scratch;
	std::unique_ptr<unsigned char[]> retired[8];
	size_t retired_next = 0;
	size_t records_bytes = 0, scratch_bytes = 0;
	bool give_scratch = true;
	bool check_all_present = false;  // every record is in the records or scratch area
	std::vector<int32_t> ids;        // scratch: ids seen in one check

	static void* records_of(void* self) { return static_cast<Mover*>(self)->records.get(); }
	static void* scratch_of(void* self) { return static_cast<Mover*>(self)->scratch.get(); }

	void move(std::unique_ptr<unsigned char[]>& area, size_t bytes) {
		if (!area) return;
		std::unique_ptr<unsigned char[]> fresh(new unsigned char[bytes]);
		std::memcpy(fresh.get(), area.get(), bytes);
		std::memset(area.get(), 0xEE, bytes);
		retired[retired_next++ % std::size(retired)] = std::move(area);
		area = std::move(fresh);
	}
	void move_all() {
		if (check_all_present) verify_all_present();
		move(records, records_bytes);
		move(scratch, scratch_bytes);
	}
	// Records are {key, input position}; the collector marks both areas.
	void verify_all_present() {
		int32_t n = int32_t(records_bytes / 8);
		std::vector<char> seen(size_t(n), 0);
		auto mark = [&](const unsigned char* area, size_t bytes) {
			for (size_t off = 0; off + 8 <= bytes; off += 8) {
				int32_t id;
				std::memcpy(&id, area + off + 4, 4);
				if (id >= 0 && id < n) seen[size_t(id)] = 1;
			}
		};
		mark(records.get(), records_bytes);
		if (scratch) mark(scratch.get(), scratch_bytes);
		for (int32_t i = 0; i < n; i++) ASSERT_TRUE(seen[size_t(i)]) << "record " << i << " is nowhere";
	}
};

void run_moving(const Algo& algo, Table& t, Mover& m) {
	m.records_bytes = t.bytes.size();
	m.records.reset(new unsigned char[m.records_bytes]);
	std::memcpy(m.records.get(), t.bytes.data(), m.records_bytes);
	if (m.give_scratch) {
		// A scratch area that holds whole records only, filled with copies.
		m.scratch_bytes = size_t(t.count() / 2) * 8;
		m.scratch.reset(new unsigned char[m.scratch_bytes]);
		std::memset(m.scratch.get(), 0xFF, m.scratch_bytes);
	}
	sorting::Moving moving{Mover::records_of, m.give_scratch ? Mover::scratch_of : nullptr, &m};
	probe.after = [&m] { m.move_all(); };
	try {
		algo.entry(m.records.get(), t.count(), 8, 0, 0, compare_keys, &moving);
	} catch (...) {
		std::memcpy(t.bytes.data(), m.records.get(), m.records_bytes);
		probe.after = nullptr;
		throw;
	}
	std::memcpy(t.bytes.data(), m.records.get(), m.records_bytes);
	probe.after = nullptr;
}

TEST(Sorting, MovingRecordsAreReachedAfterEveryCall) {
	for (const Algo& algo : algos)
		for (bool give_scratch : {true, false})
			for (const char* pattern : {"random", "random-2", "nearly-sorted", "sorted-then-random"})
				for (int32_t n : {50, 700, 2500}) {
					Table t = make_keyed(keys_for(pattern_named(pattern), n, 23));
					auto expected = stable_expected(t);
					probe = Probe{};
					Mover m;
					m.give_scratch = give_scratch;
					run_moving(algo, t, m);
					std::string what = std::string(algo.name) + " " + pattern + " n " + std::to_string(n);
					if (algo.stable)
						EXPECT_EQ(t.records(), expected) << what;
					else
						EXPECT_TRUE(is_permutation_of(t, expected)) << what;
				}
}

TEST(Sorting, EveryRecordIsInTheMarkedAreasDuringComparison) {
	for (const Algo& algo : algos)
		for (const char* pattern : {"random", "reversed-pairs", "sorted-then-random"}) {
			Table t = make_keyed(keys_for(pattern_named(pattern), 900, 29));
			auto expected = stable_expected(t);
			probe = Probe{};
			Mover m;
			m.check_all_present = true;
			run_moving(algo, t, m);
			if (algo.stable) {
				EXPECT_EQ(t.records(), expected) << algo.name << " " << pattern;
			}
		}
}

TEST(Sorting, ExitsFromAMovingComparatorLeaveAPermutation) {
	stack::init();
	int left = 0;
	for (const Algo& algo : algos)
		for (bool by_exception : {true, false})
			for (const Input& in : exit_inputs)
				for (uint64_t k : exit_calls) {
					Table t = make_keyed(keys_for(pattern_named(in.pattern), std::min(in.n, 1500), 31));
					auto input = t.records();
					probe = Probe{};
					(by_exception ? probe.throw_at : probe.stop_at) = k;
					Mover m;
					bool thrown = false;
					try {
						run_moving(algo, t, m);
					} catch (const Throw&) {
						thrown = true;
					}
					std::string what = std::string(algo.name) + " " + in.pattern + " at " + std::to_string(k);
					// The sort returns at once after the exit, calling nothing more.
					if (probe.calls >= k) {
						left++;
						EXPECT_EQ(probe.calls, k) << what;
						EXPECT_EQ(thrown, by_exception) << what;
						EXPECT_EQ(errors::pending, by_exception ? THROW_NONE : THROW_BREAK) << what;
					}
					errors::pending = THROW_NONE;
					ASSERT_TRUE(is_permutation_of(t, input)) << what;
				}
	EXPECT_GT(left, 100);
}

TEST(Sorting, ScratchTooLongForThirtyTwoBitsRaises) {
	stack::init();
	probe = Probe{};
	unsigned char untouched[16] = {};
	// (count / 2) × size is 0x3FFFFFFF × 16: past 32 bits, refused before any work.
	EXPECT_EQ(test::raised([&] { sorting::merge_sort(untouched, INT32_MAX, 16, 0, 0, compare_keys, nullptr); }),
		errors::id::script_too_long.code());
	EXPECT_EQ(probe.calls, 0u);
}

}  // namespace
