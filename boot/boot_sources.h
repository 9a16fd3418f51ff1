// The library's Vyn sources, embedded in the executable in evaluation order.
#pragma once

namespace vyn::boot {

struct BootSource {
	const char* name;
	const char* text;
};

extern const BootSource boot_sources[];
extern const int boot_source_count;

}  // namespace vyn::boot
