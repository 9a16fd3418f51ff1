#include "runtime/sorting.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "runtime/errors.h"

// Records are addressed by index from the base, never by a held pointer, so
// that a Moving sort can re-read the base after each comparator call. Every
// rearrangement outside a merge is an exchange of two records, which keeps
// the area a permutation of the input at all times.

namespace vyn::sorting {

namespace {

using Index = ptrdiff_t;
using Byte = unsigned char;

constexpr Index MIN_RUN = 24;         // merge sort: shorter runs are extended by insertion
constexpr Index SMALL = 7;            // partition: at most this many are finished by insertion
constexpr Index WHOLE_PASS = 511;     // partition without sample: one pass up to this count
constexpr Index FIRST_SAMPLE = 63;    // partition without sample: first pass length above it
constexpr Index VOTE_STRIDE = 97;     // quick sort: every 97th pair votes on the order
constexpr Index STRETCH_STRIDE = 10;  // quick sort: stride of the search for ordered stretches
constexpr Index MIN_STRETCH = 4;

// Leaves a sort whose comparator left an exit in errors::pending.
struct Stop {};

// How records of one size move. A fixed size lets the compiler turn the copy
// into register moves; other sizes go by 16-, 4- or 1-byte chunks.
template <size_t N>
struct Fixed {
	static constexpr size_t width(size_t) { return N; }
	// Safe when a == b: both records are read before either is written.
	static void swap(Byte* a, Byte* b, size_t) {
		Byte x[N], y[N];
		std::memcpy(x, a, N);
		std::memcpy(y, b, N);
		std::memcpy(a, y, N);
		std::memcpy(b, x, N);
	}
	static void copy(Byte* to, const Byte* from, size_t) { std::memcpy(to, from, N); }
};

template <size_t K>
struct Chunks {
	static size_t width(size_t size) { return size; }
	static void swap(Byte* a, Byte* b, size_t size) {
		for (size_t i = 0; i < size; i += K) Fixed<K>::swap(a + i, b + i, K);
	}
	static void copy(Byte* to, const Byte* from, size_t size) { std::memcpy(to, from, size); }
};

// Free on leaving, whatever the way out.
struct CFree {
	void operator()(void* p) const { std::free(p); }
};

template <class R, bool MOVING>
class Sorter {
public:
	Sorter(void* base, size_t size, uint32_t u1, uint32_t u2, Comparator compare, const Moving* moving)
		: base_(static_cast<Byte*>(base)), size_(size), u1_(u1), u2_(u2), compare_(compare), moving_(moving) {}

	void merge_sort(Index n);
	void quick_sort(Index n);

private:
	Byte* base_;
	Byte* scratch_ = nullptr;
	size_t size_;
	uint32_t u1_, u2_;
	Comparator compare_;
	const Moving* moving_;

	size_t width() const { return R::width(size_); }
	Byte* at(Index i) const { return base_ + size_t(i) * width(); }
	Byte* scratch_at(Index i) const { return scratch_ + size_t(i) * width(); }

	// Re-reads the addresses a comparator call may have moved.
	void refresh() {
		if constexpr (MOVING) {
			base_ = static_cast<Byte*>(moving_->records(moving_->context));
			if (moving_->scratch && scratch_) scratch_ = static_cast<Byte*>(moving_->scratch(moving_->context));
		}
	}
	int32_t compare(const Byte* a, const Byte* b) {
		int32_t r = compare_(a, b, u1_, u2_);
		if constexpr (MOVING) {
			refresh();
			if (errors::unwinding()) throw Stop{};
		}
		return r;
	}
	int32_t compare_at(Index i, Index j) { return compare(at(i), at(j)); }
	void swap(Index i, Index j) { R::swap(at(i), at(j), size_); }
	void copy(Byte* to, const Byte* from) { R::copy(to, from, size_); }

	// Exchanges n records at i with n records at j, in order from the first;
	// with i < j they may overlap, leaving the n records from j at i in order.
	void swap_forward(Index i, Index j, Index n) {
		if (i == j) return;
		for (Index k = 0; k < n; k++) swap(i + k, j + k);
	}
	void reverse(Index from, Index to) {
		for (Index a = from, b = to - 1; a < b; a++, b--) swap(a, b);
	}
	// Moves [from, middle) behind [middle, to), both kept in order.
	void rotate(Index from, Index middle, Index to) {
		reverse(from, middle);
		reverse(middle, to);
		reverse(from, to);
	}
	// Moves each record of [from, to) back past the earlier ones that order
	// after it; [lo, from) is sorted already.
	void insertion_sort(Index lo, Index from, Index to) {
		for (Index i = from; i < to; i++)
			for (Index j = i; j > lo && compare_at(j - 1, j) > 0; j--) swap(j - 1, j);
	}

	Index find_run(Index start, Index end);
	void merge_runs(Index left, Index middle, Index right);
	void merge_back(Index left, Index middle, Index right);
	void merge_front(Index left, Index middle, Index right);
	void allocate_scratch(Index n, std::unique_ptr<Byte, CFree>& owned);

	void partition_sort(Index lo, Index sample, Index n, int depth);
	Index prepare_sample(Index lo, Index sample, Index n, Index pass);
	void partition(Index pivot, Index end, Index& lower_end, Index& upper_start);
	void heap_sort(Index lo, Index n);
	void sift(Index lo, Index root, Index n);
	Index extend_prefix(Index prefix, Index n, int direction);
	bool in_order(Index i, Index j, int direction) {
		int32_t c = compare_at(i, j);
		return direction > 0 ? c <= 0 : c >= 0;
	}
};

// ---- merge sort ----

// The end of the run from start: non-descending, or strictly descending and
// then reversed (strictness keeps equal records in input order).
template <class R, bool M>
Index Sorter<R, M>::find_run(Index start, Index end) {
	if (end - start < 2) return end;
	Index i = start + 1;
	if (compare_at(start, i) <= 0) {
		while (i + 1 < end && compare_at(i, i + 1) <= 0) i++;
		return i + 1;
	}
	while (i + 1 < end && compare_at(i, i + 1) > 0) i++;
	reverse(start, i + 1);
	return i + 1;
}

// The shorter run goes to the scratch; on equal records the left run's comes
// first. Invariant during the merge: the records not yet placed are exactly
// those in the scratch and those still in the other run, and the gap between
// the placed records and that run is as long as what the scratch holds, so an
// exception only has to copy the scratch back into the gap.
template <class R, bool M>
void Sorter<R, M>::merge_runs(Index left, Index middle, Index right) {
	if (right - middle < middle - left)
		merge_back(left, middle, right);
	else
		merge_front(left, middle, right);
}

template <class R, bool M>
void Sorter<R, M>::merge_back(Index left, Index middle, Index right) {
	Index waiting = right - middle;
	std::memcpy(scratch_, at(middle), size_t(waiting) * width());
	Index l = middle;  // left run is [left, l)
	Index out = right;  // placed records are [out, right)
	try {
		while (l > left && waiting > 0) {
			if (compare(at(l - 1), scratch_at(waiting - 1)) <= 0)
				copy(at(--out), scratch_at(--waiting));
			else
				copy(at(--out), at(--l));
		}
	} catch (...) {
		refresh();
		std::memcpy(at(l), scratch_, size_t(waiting) * width());
		throw;
	}
	std::memcpy(at(left), scratch_, size_t(waiting) * width());
}

template <class R, bool M>
void Sorter<R, M>::merge_front(Index left, Index middle, Index right) {
	Index count = middle - left;
	std::memcpy(scratch_, at(left), size_t(count) * width());
	Index s = 0;        // scratch records [s, count) are waiting
	Index r = middle;   // right run is [r, right)
	Index out = left;   // placed records are [left, out)
	try {
		while (s < count && r < right) {
			if (compare(scratch_at(s), at(r)) <= 0)
				copy(at(out++), scratch_at(s++));
			else
				copy(at(out++), at(r++));
		}
	} catch (...) {
		refresh();
		std::memcpy(at(out), scratch_at(s), size_t(count - s) * width());
		throw;
	}
	std::memcpy(at(out), scratch_at(s), size_t(count - s) * width());
}

template <class R, bool M>
void Sorter<R, M>::allocate_scratch(Index n, std::unique_ptr<Byte, CFree>& owned) {
	if constexpr (M) {
		if (moving_->scratch) {
			scratch_ = static_cast<Byte*>(moving_->scratch(moving_->context));
			return;
		}
	}
	uint64_t bytes = uint64_t(n / 2) * size_;
	if (bytes > UINT32_MAX) errors::fire(errors::id::script_too_long);
	owned.reset(static_cast<Byte*>(std::malloc(size_t(bytes))));
	if (!owned) errors::fire(errors::id::internal_no_memory);
	scratch_ = owned.get();
}

// The power of the boundary between the runs [s1, e1) and [e1, e2): the
// depth at which the two runs' midpoints fall apart when the range is halved
// again and again. Runs are merged so that powers on the stack increase.
inline int boundary_power(Index s1, Index e1, Index e2, Index n) {
	Index a = s1 + e1, b = e1 + e2;
	int power = 0;
	while ((a < n) == (b < n)) {
		power++;
		if (a >= n) {
			a -= n;
			b -= n;
		}
		a *= 2;
		b *= 2;
	}
	return power + 1;
}

template <class R, bool M>
void Sorter<R, M>::merge_sort(Index n) {
	if (n < 2) return;
	std::unique_ptr<Byte, CFree> owned;
	allocate_scratch(n, owned);

	struct Entry {
		Index start;
		int power;
	};
	// Powers on the stack strictly increase and never exceed the bit length
	// of n, which is below 32; the bottom entry is a sentinel of power 0.
	Entry stack[34];
	int top = 0;
	stack[0] = {0, 0};

	auto next_run = [&](Index start) {
		Index end = find_run(start, n);
		if (end - start < MIN_RUN && end < n) {
			Index target = std::min(start + MIN_RUN, n);
			insertion_sort(start, end, target);
			end = target;
		}
		return end;
	};

	Index s1 = 0, e1 = next_run(0);
	while (e1 < n) {
		Index e2 = next_run(e1);
		int power = boundary_power(s1, e1, e2, n);
		while (stack[top].power > power) {
			merge_runs(stack[top].start, s1, e1);
			s1 = stack[top--].start;
		}
		stack[++top] = {s1, power};
		s1 = e1;
		e1 = e2;
	}
	while (top > 0) {
		merge_runs(stack[top].start, s1, n);
		s1 = stack[top--].start;
	}
}

// ---- quick sort ----

// Sorts n records from lo, of which the first `sample` (sample > 0) or the
// last -sample (sample < 0) are sorted already and serve as pivots. Each pass
// partitions around the sample's middle record; the sample's lower half stays
// at the front of the lower part and its upper half at the end of the upper
// part, so both parts keep a sorted sample. The smaller part is sorted by
// recursion, the larger one by the loop, so the depth stays logarithmic;
// when `depth` runs out the range is heap sorted.
template <class R, bool M>
void Sorter<R, M>::partition_sort(Index lo, Index sample, Index n, int depth) {
	while (n > SMALL) {
		Index h = sample < 0 ? -sample : sample;
		if (h >= n) return;
		if (depth-- == 0) {
			heap_sort(lo, n);
			return;
		}
		Index pass, pivot_at;
		if (h <= 2) {
			// Median of three: the first record, the middle one (moved to 1)
			// and the last one of the pass.
			pass = n <= WHOLE_PASS ? n : FIRST_SAMPLE;
			swap(lo + 1, lo + pass / 2);
			if (compare_at(lo + 1, lo) < 0) swap(lo, lo + 1);
			if (compare_at(lo + pass - 1, lo + 1) < 0) {
				swap(lo + 1, lo + pass - 1);
				if (compare_at(lo + 1, lo) < 0) swap(lo, lo + 1);
			}
			pivot_at = 1;
		} else {
			pass = h > n / 256 ? n : std::min(16 * h - 1, n);
			pivot_at = prepare_sample(lo, sample, n, pass);
		}
		Index upper_sample = h <= 2 ? 1 : h / 2;
		Index lower_end, upper_start;
		partition(lo + pivot_at, lo + pass - upper_sample, lower_end, upper_start);
		Index lower_n = lower_end - lo, upper_n = lo + pass - upper_start;

		if (pass < n) {
			// The pass becomes a sorted sample for the next one over all n.
			if (upper_n > upper_sample) partition_sort(upper_start, -upper_sample, upper_n, depth);
			if (lower_n > pivot_at) partition_sort(lo, pivot_at, lower_n, depth);
			sample = pass;
		} else if (lower_n <= upper_n) {
			if (lower_n > pivot_at) partition_sort(lo, pivot_at, lower_n, depth);
			lo = upper_start;
			n = upper_n;
			sample = -upper_sample;
		} else {
			if (upper_n > upper_sample) partition_sort(upper_start, -upper_sample, upper_n, depth);
			n = lower_n;
			sample = pivot_at;
		}
	}
	if (sample < 0 ? -sample >= n : sample >= n) return;
	insertion_sort(lo, lo + std::max<Index>(sample, 1), lo + n);
}

// Lays out a sample of h = |sample| > 2 sorted records for a pass over the
// first `pass` of n records: the lower (h - 1) / 2 at the front, the pivot
// right after them, the upper h / 2 at the end of the pass, the records to
// partition in between. A pass shorter than n first gathers its records
// evenly from the whole range. Answers the pivot's index from lo.
template <class R, bool M>
Index Sorter<R, M>::prepare_sample(Index lo, Index sample, Index n, Index pass) {
	Index h = sample < 0 ? -sample : sample;
	Index upper = h / 2;
	if (sample < 0) {
		if (pass == n) {
			// The upper half already lies at the end; bring the rest forward.
			swap_forward(lo, lo + n - h, h - upper);
			return (h - 1) / 2;
		}
		swap_forward(lo, lo + n - h, h);  // pass < n means h <= n / 256: no overlap
	}
	if (pass < n && n / pass > 1) {
		Index step = n / pass;
		for (Index k = 1; k < pass - h; k++) swap(lo + h + k, lo + h + k * step);
	}
	if (pass - upper >= h)
		swap_forward(lo + h - upper, lo + pass - upper, upper);
	else
		rotate(lo + h - upper, lo + h, lo + pass);
	return (h - 1) / 2;
}

// Three-way partition of the records between the pivot and `end` against
// the pivot, in one forward pass without branches on the comparator's
// answers (they are unpredictable): behind the pivot lie the records equal
// to it, then those below it, then those above it, then the ones not yet
// seen. Each record is exchanged into place unconditionally and the bounds
// advance by the answer. At the end the equal block trades places with the
// lower records so that it lies between the two parts. Answers the end of
// the lower part and the start of the upper part.
template <class R, bool M>
void Sorter<R, M>::partition(Index pivot, Index end, Index& lower_end, Index& upper_start) {
	Index equal = pivot + 1;  // [pivot, equal) compare equal to the pivot
	Index below = pivot + 1;  // [equal, below) compare below it; [below, k) above it
	for (Index k = pivot + 1; k < end; k++) {
		int32_t c = compare_at(k, pivot);
		swap(k, below);
		Index at_below = below;
		below += c <= 0;
		swap(at_below, c == 0 ? equal : at_below);
		equal += c == 0;
	}
	Index lower = below - equal;
	Index moved = std::min(equal - pivot, lower);
	swap_forward(pivot, below - moved, moved);
	lower_end = pivot + lower;
	upper_start = below;
}

template <class R, bool M>
void Sorter<R, M>::sift(Index lo, Index root, Index n) {
	for (;;) {
		Index child = 2 * root + 1;
		if (child >= n) return;
		if (child + 1 < n && compare_at(lo + child, lo + child + 1) < 0) child++;
		if (compare_at(lo + root, lo + child) >= 0) return;
		swap(lo + root, lo + child);
		root = child;
	}
}

template <class R, bool M>
void Sorter<R, M>::heap_sort(Index lo, Index n) {
	for (Index i = n / 2; i-- > 0;) sift(lo, i, n);
	for (Index end = n - 1; end > 0; end--) {
		swap(lo, lo + end);
		sift(lo, 0, end);
	}
}

// Nearly ordered data: grows the prefix of `prefix` records in `direction`
// order with the ordered stretches found at strides over the rest. A stretch
// that overlaps the prefix's end loses its overlapping records, and so does
// the prefix; records displaced by the move stay in the unsorted part.
template <class R, bool M>
Index Sorter<R, M>::extend_prefix(Index prefix, Index n, int direction) {
	Index point = prefix;
	while (point < n) {
		Index hi = point, lo = point;
		while (hi + 1 < n && in_order(hi, hi + 1, direction)) hi++;
		while (lo > prefix && in_order(lo - 1, lo, direction)) lo--;
		Index length = hi - lo + 1;
		if (length >= MIN_STRETCH) {
			if (prefix == 1) {
				swap_forward(0, lo, length);
				prefix = length;
			} else {
				// At least one pair is checked: an unchecked stretch could
				// start below the prefix's end.
				Index pairs = std::max<Index>(1, std::min(length / 2, (prefix - 1) / 4));
				Index overlap = 0;
				while (overlap < pairs && !in_order(prefix - 1 - overlap, lo + overlap, direction)) overlap++;
				if (overlap < pairs) {
					swap_forward(prefix - overlap, lo + overlap, length - overlap);
					prefix += length - 2 * overlap;
				} else if (length > prefix) {
					// A longer stretch that cannot follow the prefix replaces it.
					swap_forward(0, lo, length);
					prefix = length;
				}
			}
		}
		point = std::max(point + STRETCH_STRIDE, hi + 1);
	}
	return prefix;
}

template <class R, bool M>
void Sorter<R, M>::quick_sort(Index n) {
	if (n < 2) return;
	// Presorted prefix: its first unequal pair sets the direction.
	Index j = 0;
	int32_t c = 0;
	while (j + 1 < n && (c = compare_at(j, j + 1)) == 0) j++;
	if (j + 1 >= n) return;
	int direction = c < 0 ? 1 : -1;
	j++;
	while (j + 1 < n && in_order(j, j + 1, direction)) j++;
	Index prefix = j + 1;

	if (prefix < n) {
		int64_t vote = int64_t(prefix) * direction;
		for (Index k = prefix + 1; k + 1 < n; k += VOTE_STRIDE) {
			c = compare_at(k, k + 1);
			vote += c < 0 ? 1 : c > 0 ? -1 : 0;
		}
		if ((vote < 0 ? -vote : vote) > n / 512) {
			if ((vote > 0) != (direction > 0)) {
				prefix = 1;
				direction = -direction;
			}
			prefix = extend_prefix(prefix, n, direction);
		}
	}
	if (direction < 0) reverse(0, prefix);
	if (prefix < n) {
		int depth = 8;
		for (Index k = n; k > 1; k >>= 1) depth += 2;
		partition_sort(0, prefix, n, depth);
	}
}

// ---- entries ----

template <class R>
void run_with(bool merge, void* base, int32_t count, int32_t size, uint32_t u1, uint32_t u2,
	Comparator compare, const Moving* moving) {
	if (moving) {
		Sorter<R, true> s(base, size_t(size), u1, u2, compare, moving);
		try {
			merge ? s.merge_sort(count) : s.quick_sort(count);
		} catch (const Stop&) {
		}
	} else {
		Sorter<R, false> s(base, size_t(size), u1, u2, compare, moving);
		merge ? s.merge_sort(count) : s.quick_sort(count);
	}
}

void run(bool merge, void* base, int32_t count, int32_t size, uint32_t u1, uint32_t u2,
	Comparator compare, const Moving* moving) {
	if (count < 2 || size <= 0) return;
	switch (size) {
	case 1: return run_with<Fixed<1>>(merge, base, count, size, u1, u2, compare, moving);
	case 2: return run_with<Fixed<2>>(merge, base, count, size, u1, u2, compare, moving);
	case 4: return run_with<Fixed<4>>(merge, base, count, size, u1, u2, compare, moving);
	case 8: return run_with<Fixed<8>>(merge, base, count, size, u1, u2, compare, moving);
	case 16: return run_with<Fixed<16>>(merge, base, count, size, u1, u2, compare, moving);
	default: break;
	}
	if (size % 16 == 0) return run_with<Chunks<16>>(merge, base, count, size, u1, u2, compare, moving);
	if (size % 4 == 0) return run_with<Chunks<4>>(merge, base, count, size, u1, u2, compare, moving);
	run_with<Chunks<1>>(merge, base, count, size, u1, u2, compare, moving);
}

}  // namespace

void merge_sort(void* base, int32_t count, int32_t size, uint32_t u1, uint32_t u2, Comparator compare,
	const Moving* moving) {
	run(true, base, count, size, u1, u2, compare, moving);
}

void quick_sort(void* base, int32_t count, int32_t size, uint32_t u1, uint32_t u2, Comparator compare,
	const Moving* moving) {
	run(false, base, count, size, u1, u2, compare, moving);
}

}  // namespace vyn::sorting
