#include "runtime/shared_library.h"

#include <dlfcn.h>

#include <map>
#include <string>

namespace vyn::shared_library {

bool load(const char* soname, std::initializer_list<Entry> entries) {
	static std::map<std::string, bool> loaded;
	auto known = loaded.find(soname);
	if (known != loaded.end()) return known->second;
	bool ok = false;
	if (void* handle = dlopen(soname, RTLD_NOW | RTLD_LOCAL)) {
		ok = true;
		for (const Entry& e : entries) ok = (*e.function = dlsym(handle, e.name)) != nullptr && ok;
	}
	loaded.emplace(soname, ok);
	return ok;
}

}  // namespace vyn::shared_library
