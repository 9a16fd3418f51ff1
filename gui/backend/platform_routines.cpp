#include "gui/backend/platform_routines.h"

#include <string>
#include <vector>

#include "gui/backend/backend.h"
#include "gui/backend/control_data.h"
#include "gui/backend/dispatch.h"
#include "gui/backend/event_loop.h"
#include "gui/backend/trampoline.h"
#include "gui/backend/views.h"
#include "runtime/collector.h"
#include "runtime/context.h"
#include "runtime/datatypes/event.h"
#include "runtime/datatypes/event_records.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/file.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point2d.h"
#include "runtime/datatypes/spans.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/routines.h"
#include "runtime/evaluator/stack.h"
#include "runtime/externals.h"
#include "runtime/io/simple_io.h"
#include "runtime/platform.h"
#include "runtime/ownership.h"
#include "runtime/symbol.h"

namespace vyn::platform_routines {

namespace {

// The version the script layer keys default heights and fonts on: fixed,
// so layouts do not change with the kernel a program runs on.
constexpr uint8_t VERSION[3] = {10, 0, 0};

Cell* arg(uint32_t i) { return stack::arguments + i; }

void answer(const Cell* c) { stack::set_result(c); }
void answer_none() {
	Cell c;
	cell::make_none(&c);
	answer(&c);
}
void answer_unset() {
	Cell c;
	cell::make_unset(&c);
	answer(&c);
}

// The screens' handles: one externals slot per display, made at start.
int32_t screen_class = 0;
std::vector<int32_t> screen_slots;

void make_screen_handles() {
	if (!screen_class) screen_class = externals::register_class("screen", nullptr);
	size_t count = backend::current().screens().size();
	while (screen_slots.size() < count) screen_slots.push_back(externals::alloc_handle(nullptr, screen_class));
}

void mark_screens() {
	for (int32_t slot : screen_slots) externals::mark(slot, nullptr);
}

bool truthy(const Cell* c) { return !cell::is(c, T_NONE) && !(cell::is(c, T_LOGIC) && !c->data1); }

// ---- routines ----

void make_null_handle() { handle::box(-1, handle::NULL_CLASS); }

void fetch_all_screens() {
	std::vector<backend::Screen> screens = backend::current().screens();
	make_screen_handles();
	Cell out;
	block::make_at(&out, int32_t(screens.size()));
	Cell* held = stack::push(&out);
	for (size_t i = 0; i < screens.size(); i++) {
		const backend::Screen& s = screens[i];
		Cell spec;
		block::make_at(&spec, 4);
		Cell* spec_held = stack::push(&spec);
		pair::make_in(spec_held, s.x, s.y);
		pair::make_in(spec_held, s.width, s.height);
		Cell scale;
		cell::make_float(&scale, s.scale);
		block::append_value(spec_held, &scale);
		handle::make_in(spec_held, screen_slots[i], handle::MONITOR);
		block::append_value(held, spec_held);
		stack::pop(1);
	}
	answer(held);
}

void get_current_screen() {
	make_screen_handles();
	handle::box(screen_slots[backend::current().current_screen()], handle::MONITOR);
}

void get_screen_size() {
	std::vector<backend::Screen> screens = backend::current().screens();
	int32_t id = cell::get_integer(arg(0));
	const backend::Screen& s = id >= 0 && size_t(id) < screens.size() ? screens[size_t(id)] : screens[0];
	Cell c;
	pair::make_at(&c, int32_t(s.width / s.scale), int32_t(s.height / s.scale));
	answer(&c);
}

void size_text() {
	Cell face = *arg(0);
	Cell value = *arg(1);
	if (cell::is(&value, T_NONE)) {
		Cell* text = views::facet(&face, views::TEXT);
		if (text) value = *text;
	} else if (!string::any_string(&value)) {
		datatype::fire_type(errors::id::script_invalid_type, cell::type_of(&value));
	}
	if (!cell::is(&value, T_STRING)) return answer_none();
	std::string text = simple_io::utf8_text(&value);
	double w = 0, h = 0;
	backend::current().text_size(face_font(&face), text, &w, &h);
	Cell out;
	point2D::make_at(&out, float(w), float(h));
	answer(&out);
}

// A list's or tab panel's `data` changed in place updates its items;
// another deep change re-reads the owner whole.
void on_change_facet() {
	backend::View* v = views::of_face(arg(0));
	static const uint32_t data_sym = symbol::make("data");
	bool items = v && control_data::family_of(*v) != control_data::OTHER &&
		word::is_any_word(cell::type_of(arg(1))) && symbol::same_name(arg(1)->data2, data_sym);
	if (items) {
		v->face = *arg(0);
		uint32_t action = word::is_any_word(cell::type_of(arg(3))) ? arg(3)->data2 : 0;
		int32_t index = cell::is(arg(5), T_INTEGER) ? cell::get_integer(arg(5)) : 0;
		int32_t part = cell::is(arg(6), T_INTEGER) ? cell::get_integer(arg(6)) : 0;
		if (control_data::data_changed(*v, action, index, part)) backend::current().items_changed(*v);
	} else if (v) {
		backend::current().view_changed(*v, 0);
	}
	answer_unset();
}

// The items a list's or tab panel's control shows now, as strings.
void control_items() {
	backend::View* v = views::of_face(arg(0));
	if (!v || control_data::family_of(*v) == control_data::OTHER) return answer_none();
	std::vector<std::string> items = backend::current().shown_items(*v);
	Cell out;
	block::make_at(&out, int32_t(items.size()));
	Cell* held = stack::push(&out);
	for (const std::string& item : items)
		string::load_in(reinterpret_cast<const uint8_t*>(item.data()), uint32_t(item.size()), held);
	answer(held);
}

void update_text() { answer_none(); }
void update_font() { answer_none(); }
void update_para() {
	if (backend::View* v = views::of_face(arg(0))) backend::current().para_changed(*v);
	answer_none();
}

// A field of an object by name, or null.
Cell* member(const Cell* object, const char* name) {
	if (!cell::is(object, T_OBJECT)) return nullptr;
	int32_t i = context::find_word(object->data1, symbol::make(name), true);
	return i < 0 ? nullptr : context::values(object->data1) + i;
}

int32_t integer_member(const Cell* object, const char* name, int32_t otherwise) {
	Cell* c = member(object, name);
	if (!c) return otherwise;
	if (cell::is(c, T_INTEGER)) return cell::get_integer(c);
	if (cell::is(c, T_FLOAT)) {
		double d = cell::get_double(c);
		if (d >= -2e9 && d <= 2e9) return int32_t(d);
	}
	return otherwise;
}

// The scroller's bar on its parent's view. The flags name the field that
// changed (its index in scroller!): the minimum is always 1, so a change of
// `min-size` (2), `vertical?` (5) or `parent` (6) moves nothing.
void update_scroller() {
	Cell scroller = *arg(0);
	int32_t field = cell::get_integer(arg(1));
	Cell* parent = member(&scroller, "parent");
	backend::View* v = parent ? views::of_face(parent) : nullptr;
	if (v && field != 2 && field != 5 && field != 6) {
		backend::ScrollBar bar;
		Cell* vertical = member(&scroller, "vertical?");
		bar.vertical = vertical && truthy(vertical);
		Cell* visible = member(&scroller, "visible?");
		bar.visible = !visible || truthy(visible);
		bar.position = integer_member(&scroller, "position", 1);
		bar.page = integer_member(&scroller, "page-size", 1);
		bar.max = integer_member(&scroller, "max-size", 1);
		backend::current().scroll_bar_changed(*v, bar);
	}
	answer_none();
}

void destroy_view() {
	views::destroy(arg(0), truthy(arg(1)));
	answer_none();
}

void detach_image() {
	ownership::unbind(arg(0));
	answer_none();
}

bool is_screen(const Cell* face) {
	static const uint32_t screen_sym = symbol::make("screen");
	Cell* type = views::facet(face, views::TYPE);
	return type && word::is_any_word(cell::type_of(type)) && symbol::same_name(type->data2, screen_sym);
}

void update_view() {
	Cell faces = *arg(0);
	if (cell::is(&faces, T_BLOCK)) {
		spans::Cells cells = spans::cells_of(&faces);
		for (uint32_t i = 0; i < cells.count; i++)
			if (!cell::is(cells.head + i, T_OBJECT))
				datatype::fire_type(errors::id::script_invalid_type, cell::type_of(cells.head + i));
		uint32_t n = cells.count;
		for (uint32_t i = 0; i < n; i++) {
			spans::Cells now = spans::cells_of(&faces);
			if (i >= now.count) break;
			Cell face = now.head[i];
			views::update(&face);
		}
	} else if (cell::is(&faces, T_OBJECT)) {
		if (!is_screen(&faces)) views::update(&faces);
	} else {
		datatype::fire_type(errors::id::script_invalid_type, cell::type_of(&faces));
	}
	answer_none();
}

void refresh_window() { answer_unset(); }
void redraw() {
	if (backend::View* v = views::of_face(arg(0))) backend::current().redraw(*v);
	answer_unset();
}

void show_window() {
	backend::View* v = views::of_handle(arg(0));
	if (v) backend::current().window_shown(*v);
	answer_none();
}

void make_view() {
	Cell out;
	views::make(arg(0), arg(1), &out);
	answer(&out);
}

void do_event_loop() { routines::answer_logic(event_loop::run(truthy(arg(0)))); }

void exit_event_loop() {
	event_loop::quit();
	answer_unset();
}

// The font dialog fills the new font! from the user's choice: its name,
// its whole point size and its style (bold, italic, both or none).
void request_font() {
	backend::Font start = face_font_object(arg(1));
	if (start.family.empty()) start = {family_of("Courier New"), 11};
	backend::Font chosen;
	if (!backend::current().request_font(start, truthy(arg(2)), &chosen)) return answer_none();
	Cell font = *arg(0);
	auto field = [&](const char* name) -> Cell* {
		int32_t i = context::find_word(font.data1, symbol::make(name), true);
		return i < 0 ? nullptr : context::values(font.data1) + i;
	};
	Cell name;
	string::load_at(&name, chosen.family);
	if (Cell* f = field("name")) *f = name;
	if (Cell* f = field("size")) cell::make_integer(f, int32_t(chosen.size));
	if (Cell* f = field("style")) {
		if (chosen.bold && chosen.italic) {
			Cell both;
			block::make_at(&both, 2);
			Cell* held = stack::push(&both);
			Cell w;
			word::make_at(symbol::make("bold"), &w);
			block::append_value(held, &w);
			word::make_at(symbol::make("italic"), &w);
			block::append_value(held, &w);
			if ((f = field("style"))) *f = *held;
			stack::pop(1);
		} else if (chosen.bold || chosen.italic) {
			word::make_at(symbol::make(chosen.bold ? "bold" : "italic"), f);
		} else {
			cell::make_none(f);
		}
	}
	answer(&font);
}

std::string text_value(const Cell* c) {
	Cell copy = *c;
	return simple_io::utf8_text(&copy);
}

// The filter block of a requester: strings or files, in name/pattern pairs;
// another value raises invalid-arg. Without a block, the default filter.
std::vector<std::pair<std::string, std::string>> filters_of(const Cell* filter) {
	std::vector<std::pair<std::string, std::string>> out;
	if (!cell::is(filter, T_BLOCK)) {
		out = {{"All files", "*.*"}, {"Vyn scripts", "*.vyn;*.vyns"}, {"QUARN scripts", "*.qs"}, {"Text files", "*.txt"}};
		return out;
	}
	spans::Cells cells = spans::cells_of(filter);
	std::vector<std::string> texts;
	for (uint32_t i = 0; i < cells.count; i++) {
		const Cell* c = cells.head + i;
		if (!cell::is(c, T_STRING) && !cell::is(c, T_FILE)) errors::fire(errors::id::script_invalid_arg, c);
		texts.push_back(text_value(c));
	}
	for (size_t i = 0; i + 1 < texts.size(); i += 2) out.emplace_back(texts[i], texts[i + 1]);
	return out;
}

// title, name, filter, save?/keep?, multi? into a request.
backend::FileRequest request_of(bool folder) {
	backend::FileRequest r;
	r.folder = folder;
	if (cell::is(arg(0), T_STRING)) r.title = text_value(arg(0));
	if (cell::is(arg(1), T_STRING) || cell::is(arg(1), T_FILE)) r.name = text_value(arg(1));
	if (folder) {
		r.keep = truthy(arg(3));
	} else {
		r.filters = filters_of(arg(2));
		r.save = truthy(arg(3));
		r.multi = truthy(arg(4));
	}
	return r;
}

void file_cell(const std::string& path, Cell* out) {
	file::load(out, reinterpret_cast<const uint8_t*>(path.data()), uint32_t(path.size()), string::ENC_UTF8);
}

// The chosen file as a file!, or with multi? a block of them; none when
// the dialog was cancelled.
void request_file() {
	backend::FileRequest r = request_of(false);
	std::vector<std::string> chosen;
	if (!backend::current().request_files(r, &chosen) || chosen.empty()) return answer_none();
	if (!r.multi) {
		Cell out;
		file_cell(chosen[0], &out);
		return answer(&out);
	}
	Cell out;
	block::make_at(&out, int32_t(chosen.size()));
	Cell* held = stack::push(&out);
	for (const std::string& path : chosen) {
		Cell* slot = stack::alloc_slot();
		file_cell(path, slot);
		block::append_value(held, slot);
		stack::pop(1);
	}
	answer(held);
}

// The chosen folder as a file! ending in "/"; none when cancelled.
void request_dir() {
	backend::FileRequest r = request_of(true);
	std::vector<std::string> chosen;
	if (!backend::current().request_files(r, &chosen) || chosen.empty()) return answer_none();
	std::string path = chosen[0];
	if (path.empty() || path.back() != '/') path += '/';
	Cell out;
	file_cell(path, &out);
	answer(&out);
}

void set_dark_mode() {
	if (backend::View* v = views::of_face(arg(0))) backend::current().set_dark_mode(*v, truthy(arg(1)));
	answer_unset();
}
void support_dark_mode_q() { routines::answer_logic(backend::current().dark_mode_supported()); }
void toggle_gpu() { answer_unset(); }

// [version dpi system-font-name system-font-size scroller-size text-color window-color panel-color]
void start() {
	backend::Backend& b = backend::current();
	make_screen_handles();
	Cell out;
	block::make_at(&out, 8);
	Cell* held = stack::push(&out);
	Cell c;
	tuple::make_at(&c, 3, VERSION);
	block::append_value(held, &c);
	cell::make_integer(&c, int32_t(b.dpi()));
	block::append_value(held, &c);
	backend::Font font = b.system_font();
	string::load_at(&c, font.family);
	block::append_value(held, &c);
	cell::make_integer(&c, int32_t(font.size));
	block::append_value(held, &c);
	pair::make_in(held, 17, 17);
	const uint8_t colors[3][3] = {{0, 0, 0}, {255, 255, 255}, {240, 240, 240}};
	for (const auto& rgb : colors) {
		tuple::make_at(&c, 3, rgb);
		block::append_value(held, &c);
	}
	answer(held);
}

// The face an event names: a synthetic event keeps it first in its block,
// a backend event in its open record.
Cell face_of_event(const Cell* e) {
	Cell face;
	cell::make_none(&face);
	if (e->header & event::SYNTHETIC) {
		if (!e->data2) return face;
		Series* s = memory::series(e->data2);
		if (s->used() >= sizeof(Cell)) face = s->head_cell()[0];
	} else if (const event_records::Fields* r = event_records::find(e->data2)) {
		face = r->values[event_records::FACE];
	}
	return face;
}

bool has_live_view(const Cell* face) { return cell::is(face, T_OBJECT) && views::of_face(face); }

// send-event-os: the event's face must have a view; a queued event is
// dispatched by the event loop, another one at once, through the same path
// as the window system's events.
void send_event_os() {
	Cell event = *arg(0);
	bool queued = truthy(arg(1));
	Cell face = face_of_event(&event);
	if (!has_live_view(&face)) return routines::answer_logic(false);
	if (queued) {
		dispatch::post(&event);
		return routines::answer_logic(true);
	}
	Cell out;
	dispatch::send_event(&event, &out);
	trampoline::resume();
	if (errors::pending) return;
	routines::answer_logic(true);
}

const routines::Definition DEFINITIONS[] = {
	{"backend-make-null-handle", R"v(["A handle with no OS object" return: [handle!]])v", make_null_handle},
	{"backend-fetch-all-screens", R"v(["Specs of the displays: [offset size scale handle] each" return: [block!]])v",
		fetch_all_screens},
	{"backend-get-current-screen", R"v(["The handle of the display under the pointer" return: [handle!]])v",
		get_current_screen},
	{"backend-get-screen-size", R"v(["The size of a display in logical pixels" id [integer!] return: [pair!]])v",
		get_screen_size},
	{"backend-size-text", R"v(["The size of a text drawn with the face's font" face [object!] value return: [point2D! none!]])v",
		size_text},
	{"backend-on-change-facet", R"v(["Applies a deep change of a facet to the realised face"
		owner [object!] word [any-word!] value action [word!] new index [integer!] part [integer!]])v",
		on_change_facet},
	{"backend-update-text", R"v(["Reads the control's text back into the face" face [object!]])v", update_text},
	{"backend-update-font", R"v(["Re-creates a realised font" font [object!] flags [integer!]])v", update_font},
	{"backend-update-para", R"v(["Applies a para change" face [object!] flags [integer!]])v", update_para},
	{"backend-destroy-view", R"v(["Destroys a face's view" face [object!] empty? [logic!]])v", destroy_view},
	{"backend-detach-image", R"v(["Releases an image's OS bitmap" img [image!]])v", detach_image},
	{"backend-update-view", R"v(["Applies the changed facets of a face, or of a block of faces" face])v", update_view},
	{"backend-refresh-window", R"v(["Repaints a window" h [handle!]])v", refresh_window},
	{"backend-redraw", R"v(["Redraws a face" face [object!]])v", redraw},
	{"backend-show-window", R"v(["Shows a window" id [handle!]])v", show_window},
	{"backend-make-view", R"v(["Creates the face's view" face [object!] parent [handle!] return: [handle!]])v",
		make_view},
	{"backend-do-event-loop", R"v(["Runs the event loop" no-wait? [logic!] return: [logic!]])v", do_event_loop},
	{"backend-exit-event-loop", R"v(["Ends the innermost event loop"])v", exit_event_loop},
	{"backend-request-font", R"v(["Font dialog" font selected mono?])v", request_font},
	{"backend-request-file", R"v(["File dialog" title name filter save? multi?])v", request_file},
	{"backend-request-dir", R"v(["Folder dialog" title dir filter keep? multi?])v", request_dir},
	{"backend-update-scroller", R"v(["Applies a scroller change" scroller [object!] flags [integer!]])v",
		update_scroller},
	{"backend-set-dark-mode", R"v(["Switches a window's dark theme" face [object!] dark? [logic!]])v", set_dark_mode},
	{"backend-support-dark-mode?", R"v(["Whether the system offers a dark mode" return: [logic!]])v",
		support_dark_mode_q},
	{"backend-toggle-GPU", R"v(["Switches GPU rendering"])v", toggle_gpu},
	{"backend-start", R"v(["Starts the backend: [version dpi font-name font-size scroller text window panel]" return: [block!]])v",
		start},
	{"control-items", R"v(["The items a list's or tab panel's control shows now" face [object!] return: [block! none!]])v",
		control_items},
	{"send-event-os", R"v(["Sends an event into the GUI's event path" event [event!] queued? [logic!] return: [logic!]])v",
		send_event_os},
};

}  // namespace

std::string family_of(const std::string& name) {
	// Fontconfig resolves each of these to an installed font.
	static const struct {
		const char* name;
		const char* family;
	} FAMILIES[] = {
		{"Consolas", "Monospace"}, {"Courier New", "Monospace"}, {"Courier", "Monospace"},
		{"Lucida Console", "Monospace"}, {"Segoe UI", "Sans"}, {"Tahoma", "Sans"}, {"Arial", "Sans"},
		{"Verdana", "Sans"}, {"MS Sans Serif", "Sans"}, {"Times New Roman", "Serif"}, {"Times", "Serif"},
		{"Georgia", "Serif"},
	};
	for (const auto& f : FAMILIES)
		if (name == f.name) return f.family;
	return name;
}

backend::Font face_font(const Cell* face) { return face_font_object(views::facet(face, views::FONT)); }

backend::Font face_font_object(const Cell* f) {
	backend::Font font;
	if (!f || !cell::is(f, T_OBJECT)) return font;
	static const uint32_t name_sym = symbol::make("name"), size_sym = symbol::make("size"),
						  style_sym = symbol::make("style");
	auto field = [&](uint32_t sym) -> Cell* {
		int32_t i = context::find_word(f->data1, sym, true);
		return i < 0 ? nullptr : context::values(f->data1) + i;
	};
	Cell* name = field(name_sym);
	if (name && string::any_string(name)) {
		Cell copy = *name;
		std::string text = simple_io::utf8_text(&copy);
		// At most 31 characters (not bytes).
		size_t cut = 0;
		for (int chars = 0; cut < text.size() && chars < 31; chars++) {
			cut++;
			while (cut < text.size() && (uint8_t(text[cut]) & 0xC0) == 0x80) cut++;
		}
		font.family = family_of(text.substr(0, cut));
	}
	Cell* size = field(size_sym);
	if (size && cell::is(size, T_INTEGER) && cell::get_integer(size) > 0) font.size = cell::get_integer(size);
	Cell* style = field(style_sym);
	font.bold = holds_word(style, "bold");
	font.italic = holds_word(style, "italic");
	font.underline = holds_word(style, "underline");
	font.strike = holds_word(style, "strike");
	return font;
}

bool holds_word(const Cell* words, const char* name) {
	uint32_t sym = symbol::make(name);
	if (!words) return false;
	if (word::is_any_word(cell::type_of(words))) return symbol::same_name(words->data2, sym);
	if (!cell::is(words, T_BLOCK)) return false;
	spans::Cells cells = spans::cells_of(words);
	for (uint32_t i = 0; i < cells.count; i++)
		if (word::is_any_word(cell::type_of(cells.head + i)) && symbol::same_name(cells.head[i].data2, sym))
			return true;
	return false;
}

void define_all() {
	views::init();
	dispatch::init();
	screen_slots.clear();
	screen_class = 0;
	static bool registered = false;
	if (!registered) collector::register_marker(mark_screens);
	registered = true;
	for (const routines::Definition& d : DEFINITIONS) routines::define(d);
	platform::after_wait = [] { event_loop::run(true); };
}

}  // namespace vyn::platform_routines
