#include "gui/backend/gtk/paragraph.h"

#include <string>

#include "gui/backend/gtk/gtk_library.h"
#include "runtime/context.h"
#include "runtime/datatypes/spans.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/word.h"
#include "runtime/io/simple_io.h"
#include "runtime/symbol.h"

namespace vyn::gtk_paragraph {

namespace {

using backend::View;
using gtk_library::lib;

enum Kind { OTHER, BUTTON, CHECK, FIELD, AREA, TEXT };

Kind kind_of(const View& v) {
	auto is = [&](const char* name) { return v.type && symbol::same_name(v.type, symbol::make(name)); };
	if (is("button") || is("toggle")) return BUTTON;
	if (is("check") || is("radio")) return CHECK;
	if (is("field")) return FIELD;
	if (is("area")) return AREA;
	if (is("text")) return TEXT;
	return OTHER;
}

Cell* field_of(const Cell* object, const char* name) {
	if (!cell::is(object, T_OBJECT)) return nullptr;
	int32_t i = context::find_word(object->data1, symbol::make(name), true);
	return i < 0 ? nullptr : context::values(object->data1) + i;
}

bool is_word(const Cell* c, const char* name) {
	return c && word::is_any_word(cell::type_of(c)) && symbol::same_name(c->data2, symbol::make(name));
}

// Where a line sits across (0 left or top, 0.5 centred, 1 right or bottom),
// or `otherwise` for any other value.
float across(const Cell* c, const char* start, const char* centre, const char* end, float otherwise) {
	if (is_word(c, start)) return 0;
	if (is_word(c, centre)) return 0.5f;
	if (is_word(c, end)) return 1;
	return otherwise;
}

GtkJustification justification(float x) {
	return x == 0 ? GTK_JUSTIFY_LEFT : x == 1 ? GTK_JUSTIFY_RIGHT : GTK_JUSTIFY_CENTER;
}

bool is_label(GtkWidget* w) { return w && g_type_is_a(G_OBJECT_TYPE(w), lib.gtk_label_get_type()); }

}  // namespace

void apply_para(View& v, GtkWidget* control) {
	Kind kind = kind_of(v);
	if (kind == OTHER || !control || !gtk_library::display()) return;
	Cell face = v.face;
	Cell* para = views::facet(&face, views::PARA);
	if (!para || !cell::is(para, T_OBJECT)) return;
	Cell* align = field_of(para, "align");
	Cell* v_align = field_of(para, "v-align");
	Cell* wrap_value = field_of(para, "wrap?");
	bool wrap = !wrap_value || cell::is(wrap_value, T_NONE) || (cell::is(wrap_value, T_LOGIC) && wrap_value->data1);
	switch (kind) {
	case BUTTON:
	case CHECK: {
		// A caption: buttons centre what is not said, check boxes and
		// radios put it on the left.
		GtkWidget* label = lib.gtk_bin_get_child(reinterpret_cast<GtkBin*>(control));
		if (!is_label(label)) break;
		auto* l = reinterpret_cast<GtkLabel*>(label);
		lib.gtk_label_set_xalign(l, across(align, "left", "center", "right", kind == BUTTON ? 0.5f : 0));
		lib.gtk_label_set_yalign(l, across(v_align, "top", "middle", "bottom", 0.5f));
		break;
	}
	case FIELD:
		lib.gtk_entry_set_alignment(reinterpret_cast<GtkEntry*>(control), across(align, "left", "center", "right", 0));
		break;
	case AREA: {
		auto* view = reinterpret_cast<GtkTextView*>(control);
		lib.gtk_text_view_set_justification(view, justification(across(align, "left", "center", "right", 0)));
		lib.gtk_text_view_set_wrap_mode(view, wrap ? GTK_WRAP_WORD_CHAR : GTK_WRAP_NONE);
		// Wrapped text never needs the horizontal bar.
		GtkWidget* scrolled = lib.gtk_widget_get_parent(control);
		if (scrolled && g_type_is_a(G_OBJECT_TYPE(scrolled), lib.gtk_scrolled_window_get_type()))
			lib.gtk_scrolled_window_set_policy(reinterpret_cast<GtkScrolledWindow*>(scrolled),
				wrap ? GTK_POLICY_NEVER : GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
		break;
	}
	case TEXT: {
		if (!is_label(control)) break;
		auto* l = reinterpret_cast<GtkLabel*>(control);
		float x = across(align, "left", "center", "right", 0);
		lib.gtk_label_set_xalign(l, x);
		lib.gtk_label_set_justify(l, justification(x));
		lib.gtk_label_set_yalign(l, is_word(v_align, "middle") ? 0.5f : 0);
		// Unwrapped text that does not fit ends in an ellipsis.
		lib.gtk_label_set_line_wrap(l, wrap);
		lib.gtk_label_set_ellipsize(l, wrap ? PANGO_ELLIPSIZE_NONE : PANGO_ELLIPSIZE_END);
		break;
	}
	case OTHER: break;
	}
}

void apply_hint(View& v, GtkWidget* control) {
	if (kind_of(v) != FIELD || !control || !gtk_library::display()) return;
	Cell face = v.face;
	Cell* options = views::facet(&face, views::OPTIONS);
	std::string hint;
	if (options && cell::is(options, T_BLOCK)) {
		spans::Cells cells = spans::cells_of(options);
		for (uint32_t i = 0; i + 1 < cells.count; i++) {
			if (!is_word(cells.head + i, "hint") || !string::any_string(cells.head + i + 1)) continue;
			Cell text = cells.head[i + 1];
			hint = simple_io::utf8_text(&text);
			break;
		}
	}
	lib.gtk_entry_set_placeholder_text(reinterpret_cast<GtkEntry*>(control), hint.empty() ? nullptr : hint.c_str());
}

}  // namespace vyn::gtk_paragraph
