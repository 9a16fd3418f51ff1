#include "gui/draw/keywords.h"

#include "runtime/symbol.h"

namespace vyn::draw_keywords {

#define VYN_DEFINE_KEYWORD(id, text) uint32_t id;
VYN_DRAW_KEYWORDS(VYN_DEFINE_KEYWORD)
#undef VYN_DEFINE_KEYWORD

void init() {
	static bool done = false;
	if (done) return;
	done = true;
#define VYN_MAKE_KEYWORD(id, text) id = symbol::resolve(symbol::make(text));
	VYN_DRAW_KEYWORDS(VYN_MAKE_KEYWORD)
#undef VYN_MAKE_KEYWORD
}

}  // namespace vyn::draw_keywords
