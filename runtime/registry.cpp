#include "runtime/registry.h"

#include <cstring>

namespace vyn::registry {

TypeName names[TYPE_SLOTS];
ActionRow rows[TYPE_SLOTS];
uint8_t parents[TYPE_SLOTS];
int type_count = 0;

void register_type(Type id, Type parent, const char* name, const ActionRow& row, uint64_t inherit) {
	if (id > type_count) type_count = id;
	names[id].name = name;
	names[id].length = uint32_t(std::strlen(name)) - 1;
	parents[id] = parent;
	auto* dst = reinterpret_cast<void**>(&rows[id]);
	auto* src = reinterpret_cast<void* const*>(&row);
	auto* from_parent = reinterpret_cast<void* const*>(&rows[parent]);
	for (int s = 0; s < ACTION_COUNT; s++) {
		bool inherits = !src[s] && parent && (inherit & (uint64_t(1) << s));
		dst[s] = inherits ? from_parent[s] : src[s];
	}
}

bool is_a(Type type, Type ancestor) {
	for (int t = type; t; t = parents[t])
		if (t == ancestor) return true;
	return false;
}

}  // namespace vyn::registry
