#include "gui/draw/text_box.h"

#include <pango/pangocairo.h>

#include <cmath>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "gui/draw/interpreter.h"
#include "gui/draw/keywords.h"
#include "runtime/context.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point2d.h"
#include "runtime/datatypes/string.h"
#include "runtime/externals.h"
#include "runtime/symbol.h"
#include "runtime/words.h"

namespace vyn::text_box {

namespace kw = draw_keywords;
using draw_engine::Context;

namespace {

using draw_interpreter::field;

// Family names past this length are cut, as font names are elsewhere.
constexpr size_t MAX_FAMILY = 31;
constexpr int32_t DEFAULT_SIZE = 9;

int32_t layout_class = 0;

// A rich-text face's layout and what it was made from, so a changed text,
// size or style block is noticed even when nobody raised the rebuild flag.
struct Box {
	PangoLayout* layout = nullptr;
	std::string text;                 // UTF-8
	std::vector<uint32_t> offsets;    // byte offset of each character, and of the end
	Cell size, data, font, para;      // the facets the layout was made from
	uint32_t data_length = 0;
};

// Every box alive: the externals table keeps them in memory the leak
// checker does not scan.
// (Never destroyed: the checker runs after static destructors.)
std::unordered_set<Box*>& live_boxes = *new std::unordered_set<Box*>;

Box* new_box() {
	Box* b = new Box;
	live_boxes.insert(b);
	return b;
}

void release_box(void* data) {
	Box* b = static_cast<Box*>(data);
	live_boxes.erase(b);
	if (b->layout) g_object_unref(b->layout);
	delete b;
}


const Cell* system_font(const char* name) {
	const Cell* system = context::global_value(words::sym_system);
	return field(field(field(system, "view"), "fonts"), name);
}

PangoContext* shared_context() {
	static PangoContext* context = pango_font_map_create_context(pango_cairo_font_map_get_default());
	return context;
}

// One character as Pango takes it; answers the byte count.
int encode(uint32_t cp, char* out) {
	if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = 0xFFFD;  // Pango refuses these
	if (cp < 0x80) {
		out[0] = char(cp);
		return 1;
	}
	if (cp < 0x800) {
		out[0] = char(0xC0 | cp >> 6), out[1] = char(0x80 | (cp & 0x3F));
		return 2;
	}
	if (cp < 0x10000) {
		out[0] = char(0xE0 | cp >> 12), out[1] = char(0x80 | ((cp >> 6) & 0x3F)), out[2] = char(0x80 | (cp & 0x3F));
		return 3;
	}
	out[0] = char(0xF0 | cp >> 18), out[1] = char(0x80 | ((cp >> 12) & 0x3F));
	out[2] = char(0x80 | ((cp >> 6) & 0x3F)), out[3] = char(0x80 | (cp & 0x3F));
	return 4;
}

void utf8_of(Cell* str, std::string& out, std::vector<uint32_t>& offsets) {
	Cell copy = *str;
	string::Text t = string::text_of(&copy);
	out.clear();
	offsets.resize(t.length + 1);
	char bytes[4];
	for (uint32_t i = 0; i < t.length; i++) {
		offsets[i] = uint32_t(out.size());
		out.append(bytes, size_t(encode(t.unit(i), bytes)));
	}
	offsets[t.length] = uint32_t(out.size());
}

// True when the string still reads as the UTF-8 text and offsets were made
// from (no copy: a kept layout is checked at every query).
bool same_text(Cell* str, const std::string& text, const std::vector<uint32_t>& offsets) {
	Cell copy = *str;
	string::Text t = string::text_of(&copy);
	if (size_t(t.length) + 1 != offsets.size()) return false;
	// One byte a unit and as many bytes as units: all ASCII on both sides.
	if (t.width == 1 && text.size() == t.length)
		return t.length == 0 || std::memcmp(t.at, text.data(), t.length) == 0;
	char bytes[4];
	for (uint32_t i = 0; i < t.length; i++) {
		uint32_t cp = t.unit(i);
		uint32_t at = offsets[i];
		if (cp < 0x80 && cp != 0) {
			if (text[at] != char(cp)) return false;
			continue;
		}
		int n = encode(cp, bytes);
		if (offsets[i + 1] - at != uint32_t(n) || text.compare(at, size_t(n), bytes, size_t(n)) != 0) return false;
	}
	return true;
}

bool has_style(const Cell* style, uint32_t k) {
	if (!style) return false;
	if (cell::is(style, T_WORD)) return symbol::resolve(style->data2) == k;
	if (!cell::is(style, T_BLOCK)) return false;
	Cell b = *style;
	for (Cell *p = block::vs_head(&b), *end = block::vs_tail(&b); p < end; p++)
		if (cell::is(p, T_WORD) && symbol::resolve(p->data2) == k) return true;
	return false;
}

// The font description of a font! object, or of the default font.
PangoFontDescription* description_of(const Cell* font) {
	kw::init();
	PangoFontDescription* d = pango_font_description_new();
	const Cell* name = field(font, "name");
	if (!name || !cell::is(name, T_STRING)) name = system_font("system");
	std::string family = "Sans";
	if (name && cell::is(name, T_STRING)) {
		std::vector<uint32_t> offsets;
		Cell n = *name;
		utf8_of(&n, family, offsets);
		if (offsets.size() > MAX_FAMILY + 1) family.resize(offsets[MAX_FAMILY]);
	}
	pango_font_description_set_family(d, family.c_str());
	const Cell* size = field(font, "size");
	if (!size || !cell::is(size, T_INTEGER) || cell::get_integer(size) < 1) size = system_font("size");
	int32_t points = size && cell::is(size, T_INTEGER) && cell::get_integer(size) >= 1 ? cell::get_integer(size)
	                                                                                  : DEFAULT_SIZE;
	if (points > 1000) points = 1000;
	// Pango's Cairo font map works at 96 dots an inch: points need no scaling.
	pango_font_description_set_size(d, points * PANGO_SCALE);
	const Cell* style = field(font, "style");
	pango_font_description_set_weight(d, has_style(style, kw::bold) ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
	pango_font_description_set_style(d, has_style(style, kw::italic) ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
	return d;
}

uint32_t decorations_of(const Cell* font) {
	const Cell* style = field(font, "style");
	return (has_style(style, kw::underline) ? 1u : 0u) | (has_style(style, kw::strike) ? 2u : 0u);
}

void insert(PangoAttrList* list, PangoAttribute* a, uint32_t start, uint32_t end) {
	a->start_index = start;
	a->end_index = end;
	pango_attr_list_insert(list, a);
}

void colour_attrs(PangoAttrList* list, uint32_t colour, uint32_t start, uint32_t end, bool background) {
	guint16 r = guint16((colour & 0xFF) * 257), g = guint16(((colour >> 8) & 0xFF) * 257);
	guint16 b = guint16(((colour >> 16) & 0xFF) * 257), a = guint16((255 - (colour >> 24)) * 257);
	insert(list, background ? pango_attr_background_new(r, g, b) : pango_attr_foreground_new(r, g, b), start, end);
	insert(list, background ? pango_attr_background_alpha_new(a) : pango_attr_foreground_alpha_new(a), start, end);
}

void decoration_attrs(PangoAttrList* list, uint32_t decorations, uint32_t start, uint32_t end) {
	if (decorations & 1) insert(list, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE), start, end);
	if (decorations & 2) insert(list, pango_attr_strikethrough_new(TRUE), start, end);
}

// The rich-text style parser: ranges of characters and their styles.
void apply_styles(PangoAttrList* list, const Cell* styles, const std::vector<uint32_t>& offsets) {
	Cell value = *styles;
	Cell* p = block::vs_head(&value);
	Cell* tail = block::vs_tail(&value);
	uint32_t length = uint32_t(offsets.size() - 1);
	uint32_t start = 0, end = 0;  // byte offsets of the current range
	while (p < tail) {
		Type t = cell::type_of(p);
		if (t == T_PAIR) {
			// 1-based start by length, cut to the text; an empty range styles nothing.
			int64_t first = int64_t(pair::x_of(p)) - 1, count = pair::y_of(p);
			if (first < 0) first = 0;
			if (first > length) first = length;
			if (count < 0) count = 0;
			if (first + count > length) count = length - first;
			start = offsets[size_t(first)];
			end = offsets[size_t(first + count)];
			p++;
		} else if (t == T_TUPLE) {
			if (start < end) colour_attrs(list, draw_engine::colour_of(p), start, end, false);
			p++;
		} else if (t == T_STRING) {
			std::string family;
			std::vector<uint32_t> o;
			utf8_of(p, family, o);
			if (start < end) insert(list, pango_attr_family_new(family.c_str()), start, end);
			p++;
		} else if (t == T_INTEGER || t == T_FLOAT) {
			double points = t == T_INTEGER ? cell::get_integer(p) : cell::get_double(p);
			if (start < end && points > 0 && points <= 1000)
				insert(list, pango_attr_size_new(int(points * PANGO_SCALE)), start, end);
			p++;
		} else if (t == T_WORD) {
			uint32_t k = symbol::resolve(p->data2);
			p++;
			if (k == kw::bold) {
				if (start < end) insert(list, pango_attr_weight_new(PANGO_WEIGHT_BOLD), start, end);
			} else if (k == kw::italic) {
				if (start < end) insert(list, pango_attr_style_new(PANGO_STYLE_ITALIC), start, end);
			} else if (k == kw::underline || k == kw::strike || k == kw::border) {
				// The colour and style of a decoration are read and not used.
				if (p < tail && cell::is(p, T_TUPLE)) p++;
				if (p < tail && cell::is(p, T_LIT_WORD)) p++;
				if (start < end && k != kw::border) decoration_attrs(list, k == kw::underline ? 1 : 2, start, end);
			} else if (k == kw::backdrop) {
				const Cell* v = p < tail ? p : nullptr;
				if (v && cell::is(v, T_WORD)) v = draw_interpreter::word_value(v);
				if (!v || !cell::is(v, T_TUPLE)) draw_interpreter::invalid(&value, p);
				if (start < end) colour_attrs(list, draw_engine::colour_of(v), start, end, true);
				p++;
			} else {
				draw_interpreter::invalid(&value, p - 1);
			}
		} else {
			draw_interpreter::invalid(&value, p);
		}
	}
}

bool is_rich_text(const Cell* face) {
	const Cell* type = field(face, "type");
	return type && cell::is(type, T_WORD) && symbol::name(symbol::resolve(type->data2)) == "rich-text";
}

bool same(const Cell& a, const Cell* b) {
	Cell none;
	cell::make_none(&none);
	if (!b) b = &none;
	return a.header == b->header && a.data1 == b->data1 && a.data2 == b->data2 && a.data3 == b->data3;
}

// Builds the face's layout into `box`; a style block error leaves the
// layout with the styles read before it, and goes on to the caller.
void build(Box& box, const Cell* face) {
	const Cell* text = field(face, "text");
	Cell t = *text;
	utf8_of(&t, box.text, box.offsets);
	if (!box.layout) box.layout = pango_layout_new(shared_context());
	PangoLayout* layout = box.layout;
	pango_layout_set_text(layout, box.text.data(), int(box.text.size()));
	const Cell* font = field(face, "font");
	PangoFontDescription* d = description_of(font);
	pango_layout_set_font_description(layout, d);
	pango_font_description_free(d);
	auto copy_of = [](const Cell* v) {
		Cell c;
		if (v)
			c = *v;
		else
			cell::make_none(&c);
		return c;
	};
	box.size = copy_of(field(face, "size"));
	box.data = copy_of(field(face, "data"));
	box.font = copy_of(font);
	box.para = copy_of(field(face, "para"));
	box.data_length = cell::is(&box.data, T_BLOCK) ? block::length(&box.data) : 0;

	// Width from the face's size; rich text wraps unless its para says not to.
	const Cell* para = field(face, "para");
	const Cell* wrap = field(para, "wrap?");
	bool wraps = !para || !cell::is(para, T_OBJECT) || (wrap && cell::is(wrap, T_LOGIC) && wrap->data1);
	double width = 0, height = 0;
	if (cell::is(&box.size, T_PAIR)) {
		width = pair::x_of(&box.size), height = pair::y_of(&box.size);
	} else if (cell::is(&box.size, T_POINT2D)) {
		width = std::round(point2D::x_of(&box.size)), height = std::round(point2D::y_of(&box.size));
	}
	(void)height;
	pango_layout_set_width(layout, wraps && width > 0 ? int((width + 0.5) * PANGO_SCALE) : -1);
	pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
	PangoAlignment align = PANGO_ALIGN_LEFT;
	if (const Cell* a = field(para, "align"); a && cell::is(a, T_WORD)) {
		std::string_view n = symbol::name(symbol::resolve(a->data2));
		if (n == "center") align = PANGO_ALIGN_CENTER;
		if (n == "right") align = PANGO_ALIGN_RIGHT;
	}
	pango_layout_set_alignment(layout, align);
	if (const Cell* tabs = field(face, "tabs"); tabs && cell::is(tabs, T_INTEGER) && cell::get_integer(tabs) > 0) {
		PangoTabArray* ta = pango_tab_array_new_with_positions(1, TRUE, PANGO_TAB_LEFT, cell::get_integer(tabs));
		pango_layout_set_tabs(layout, ta);
		pango_tab_array_free(ta);
	} else {
		pango_layout_set_tabs(layout, nullptr);
	}

	PangoAttrList* list = pango_attr_list_new();
	uint32_t all = uint32_t(box.text.size());
	if (const Cell* spacing = field(face, "line-spacing"); spacing && cell::is(spacing, T_INTEGER) &&
		cell::get_integer(spacing) > 0)
		insert(list, pango_attr_line_height_new_absolute(cell::get_integer(spacing) * PANGO_SCALE), 0, all);
	if (const Cell* colour = field(font, "color"); colour && cell::is(colour, T_TUPLE))
		colour_attrs(list, draw_engine::colour_of(colour), 0, all, false);
	decoration_attrs(list, decorations_of(font), 0, all);
	try {
		if (cell::is(&box.data, T_BLOCK) && box.data_length > 1) apply_styles(list, &box.data, box.offsets);
	} catch (...) {
		pango_layout_set_attributes(layout, list);
		pango_attr_list_unref(list);
		throw;
	}
	pango_layout_set_attributes(layout, list);
	pango_attr_list_unref(list);
}

bool up_to_date(const Box& box, const Cell* face) {
	if (!same(box.size, field(face, "size")) || !same(box.data, field(face, "data")) ||
		!same(box.font, field(face, "font")) || !same(box.para, field(face, "para")))
		return false;
	if (cell::is(&box.data, T_BLOCK) && block::length(const_cast<Cell*>(&box.data)) != box.data_length) return false;
	const Cell* text = field(face, "text");
	if (!text || !cell::is(text, T_STRING)) return false;
	Cell t = *text;
	return same_text(&t, box.text, box.offsets);
}

// The rich-text face's kept layout, made or refreshed as needed. The face's
// `handles` is [layout-handle rebuild-flag]; a face without the facet gets
// a layout of its own that dies with the call (null `owned` holds it).
Box* layout_of(const Cell* face, bool force, Box*& owned) {
	owned = nullptr;
	Cell* handles = const_cast<Cell*>(field(face, "handles"));
	Box* box = nullptr;
	bool flag = false;
	if (handles && cell::is(handles, T_BLOCK) && block::length(handles) >= 2) {
		Cell* first = block::vs_head(handles);
		Cell* last = block::vs_tail(handles) - 1;
		flag = cell::is(last, T_LOGIC) && last->data1;
		if (cell::is(first, T_HANDLE) && handle::class_of(first) == handle::RICH_TEXT)
			box = static_cast<Box*>(handle::data(first));
	}
	if (box && !force && !flag && up_to_date(*box, face)) return box;
	if (!handles || !is_rich_text(face)) {
		owned = new_box();
		try {
			build(*owned, face);
		} catch (...) {
			release_box(owned);
			owned = nullptr;
			throw;
		}
		return owned;
	}
	if (!box) {
		box = new_box();
		int32_t slot = externals::alloc_handle(box, layout_class);
		Cell h, f, b;
		handle::make_at(&h, slot, handle::RICH_TEXT);
		cell::make_logic(&f, false);
		block::make_at(&b, 2);
		block::append_value(&b, &h);
		block::append_value(&b, &f);
		handles = const_cast<Cell*>(field(face, "handles"));  // quietly: the backend's own facet
		*handles = b;
	}
	Cell* last = block::vs_tail(handles) - 1;
	cell::make_logic(last, false);
	try {
		build(*box, face);
	} catch (...) {
		last = block::vs_tail(handles) - 1;
		cell::make_logic(last, true);
		throw;
	}
	return box;
}

// Holds a layout made for one call.
struct Owned {
	Box* box;
	~Owned() {
		if (box) release_box(box);
	}
};

double clamp_zero(double v) { return v < 0 ? 0 : v; }

}  // namespace

void init() {
	static bool done = false;
	if (done) return;
	done = true;
	layout_class = externals::register_class("rich-text", release_box);
}

void use_font(Context& c, const Cell* font) {
	const Cell* colour = field(font, "color");
	bool has_colour = colour && cell::is(colour, T_TUPLE);
	draw_engine::set_font(c, description_of(font), decorations_of(font), has_colour,
		has_colour ? draw_engine::colour_of(colour) : 0);
}

bool draw_string(Context& c, double x, double y, Cell* text) {
	if (c.s.singular) return true;
	std::string bytes;
	std::vector<uint32_t> offsets;
	utf8_of(text, bytes, offsets);
	PangoLayout* layout = pango_cairo_create_layout(c.cr);
	pango_layout_set_text(layout, bytes.data(), int(bytes.size()));
	if (!c.s.font) c.s.font = description_of(nullptr);
	pango_layout_set_font_description(layout, c.s.font);
	if (c.s.decorations) {
		PangoAttrList* list = pango_attr_list_new();
		decoration_attrs(list, c.s.decorations, 0, uint32_t(bytes.size()));
		pango_layout_set_attributes(layout, list);
		pango_attr_list_unref(list);
	}
	draw_engine::set_source_colour(c.cr, c.s.text_colour);
	cairo_move_to(c.cr, x, y);
	pango_cairo_show_layout(c.cr, layout);
	cairo_new_path(c.cr);
	g_object_unref(layout);
	return true;
}

bool draw_face(Context& c, double x, double y, const Cell* face) {
	const Cell* text = field(face, "text");
	if (!text || !cell::is(text, T_STRING)) return false;
	if (c.s.singular) return true;
	Box* owned;
	Box* box = layout_of(face, true, owned);
	Owned hold{owned};
	const Cell* colour = field(face, "color");
	const Cell* size = field(face, "size");
	if (colour && cell::is(colour, T_TUPLE) && size && (cell::is(size, T_PAIR) || cell::is(size, T_POINT2D))) {
		double w = cell::is(size, T_PAIR) ? pair::x_of(size) : point2D::x_of(size);
		double h = cell::is(size, T_PAIR) ? pair::y_of(size) : point2D::y_of(size);
		draw_engine::set_source_colour(c.cr, draw_engine::colour_of(colour));
		cairo_rectangle(c.cr, x, y, w, h);
		cairo_fill(c.cr);
	}
	draw_engine::set_source_colour(c.cr, c.s.text_colour);
	cairo_move_to(c.cr, x, y);
	pango_cairo_show_layout(c.cr, box->layout);
	cairo_new_path(c.cr);
	return true;
}

void metrics(const Cell* face, const Cell* arg, int32_t query, Cell* out) {
	const Cell* text = field(face, "text");
	if (!text || !cell::is(text, T_STRING)) {
		cell::make_none(out);
		return;
	}
	Box* owned;
	Box* box = layout_of(face, false, owned);
	Owned hold{owned};
	PangoLayout* layout = box->layout;
	uint32_t length = uint32_t(box->offsets.size() - 1);
	auto byte_of = [&](const Cell* index) {
		int64_t i = cell::is(index, T_INTEGER) ? int64_t(cell::get_integer(index)) - 1 : 0;
		if (i < 0) i = 0;
		if (i > length) i = length;
		return int(box->offsets[size_t(i)]);
	};
	auto char_of = [&](int byte) {
		auto it = std::lower_bound(box->offsets.begin(), box->offsets.end(), uint32_t(byte < 0 ? 0 : byte));
		return uint32_t(it - box->offsets.begin());
	};
	switch (query) {
	case CARET_TOP_LEFT:
	case CARET_BOTTOM_RIGHT: {
		PangoRectangle r;
		pango_layout_index_to_pos(layout, byte_of(arg), &r);
		double x = double(r.x) / PANGO_SCALE, y = double(r.y) / PANGO_SCALE;
		double w = double(r.width) / PANGO_SCALE, h = double(r.height) / PANGO_SCALE;
		if (w < 0) x += w, w = -w;
		if (query == CARET_TOP_LEFT)
			point2D::make_at(out, float(x), float(clamp_zero(y)));
		else
			point2D::make_at(out, float(x + w), float(y + h));
		break;
	}
	case OFFSET_OF_POINT:
	case INDEX_AT_POINT: {
		double px = 0, py = 0;
		if (cell::is(arg, T_PAIR))
			px = pair::x_of(arg), py = pair::y_of(arg);
		else if (cell::is(arg, T_POINT2D))
			px = point2D::x_of(arg), py = point2D::y_of(arg);
		int index = 0, trailing = 0;
		pango_layout_xy_to_index(layout, int(px * PANGO_SCALE), int(py * PANGO_SCALE), &index, &trailing);
		uint32_t i = char_of(index) + 1;
		if (query == OFFSET_OF_POINT && trailing > 0) i++;
		if (i > length + 1) i = length + 1;
		cell::make_integer(out, int32_t(i));
		break;
	}
	case LINE_HEIGHT: {
		int line = 0, x = 0;
		pango_layout_index_to_line_x(layout, byte_of(arg), FALSE, &line, &x);
		PangoLayoutLine* l = pango_layout_get_line_readonly(layout, line);
		PangoRectangle logical;
		if (l) {
			pango_layout_line_get_extents(l, nullptr, &logical);
		} else {
			logical.height = 0;
		}
		int height = logical.height;
		if (PangoLayoutIter* it = pango_layout_get_iter(layout)) {
			// A line's height is the distance its iterator advances, line spacing included.
			for (int n = 0; n < line && pango_layout_iter_next_line(it); n++) {}
			int y0, y1;
			pango_layout_iter_get_line_yrange(it, &y0, &y1);
			height = y1 - y0;
			pango_layout_iter_free(it);
		}
		cell::make_float(out, double(height) / PANGO_SCALE);
		break;
	}
	case SIZE: {
		PangoRectangle logical;
		pango_layout_get_extents(layout, nullptr, &logical);
		point2D::make_at(out, float(double(logical.width) / PANGO_SCALE), float(double(logical.height) / PANGO_SCALE));
		break;
	}
	default:
		cell::make_integer(out, pango_layout_get_line_count(layout));
		break;
	}
}

}  // namespace vyn::text_box
