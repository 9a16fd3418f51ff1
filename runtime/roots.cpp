#include "runtime/roots.h"

#include <cstdlib>

namespace vyn::roots {

Entry* entries = nullptr;
uint32_t count = 0;
uint32_t capacity = 0;

void grow() {
	uint32_t more = capacity ? capacity * 2 : 256;
	auto* grown = static_cast<Entry*>(std::realloc(entries, size_t(more) * sizeof(Entry)));
	if (!grown) std::abort();
	entries = grown;
	capacity = more;
}

}  // namespace vyn::roots
