#include "gui/draw/keywords.h"

#include "runtime/symbol.h"

namespace vyn::draw_keywords {

#define VYN_DEFINE_KEYWORD(id, text) uint32_t id;
VYN_DRAW_KEYWORDS(VYN_DEFINE_KEYWORD)
#undef VYN_DEFINE_KEYWORD

uint32_t generation = 0;

void init() {
	static Node table = 0;
	if (generation && table == symbol::table && image <= symbol::count() && symbol::name(image) == "image") return;
	table = symbol::table;
	generation++;
#define VYN_MAKE_KEYWORD(id, text) id = symbol::resolve(symbol::make(text));
	VYN_DRAW_KEYWORDS(VYN_MAKE_KEYWORD)
#undef VYN_MAKE_KEYWORD
}

}  // namespace vyn::draw_keywords
