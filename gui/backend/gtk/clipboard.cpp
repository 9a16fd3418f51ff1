#include "gui/backend/gtk/clipboard.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "gui/backend/gtk/gtk_library.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/file.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/spans.h"
#include "runtime/datatypes/string.h"
#include "runtime/io/byte_order.h"
#include "runtime/io/clipboard.h"
#include "runtime/io/image_codec.h"
#include "runtime/io/image_record.h"
#include "runtime/io/simple_io.h"
#include "runtime/utf8.h"

namespace vyn::gtk_clipboard {

namespace {

using gtk_library::lib;

// The image formats read, in the order they are tried.
constexpr const char* IMAGE_TARGETS[] = {"image/png", "image/jpeg", "image/gif", "image/bmp"};
// Set when the clipboard is emptied: a target no reader asks for.
constexpr const char* EMPTY_TARGET = "application/x-vyn-empty";

// What this process offers under each target, built when it is written.
struct Offer {
	std::string first;   // text/uri-list, or image/png
	std::string second;  // x-special/gnome-copied-files, or image/bmp
};

int connected = 0;  // 0 not tried, 1 connected, -1 no display
// Reading waits in a nested main loop; a read from within that loop is
// refused rather than nested again.
bool waiting = false;

GtkClipboard* board() { return lib.gtk_clipboard_get(GDK_SELECTION_CLIPBOARD); }

bool available() {
	if (connected == 0) connected = gtk_library::display() ? 1 : -1;
	return connected > 0;
}

void store_at_exit() {
	if (connected > 0) lib.gtk_clipboard_store(board());
}

void serve(GtkClipboard*, GtkSelectionData* data, guint info, gpointer offer) {
	const std::string& s = info == 0 ? static_cast<Offer*>(offer)->first : static_cast<Offer*>(offer)->second;
	lib.gtk_selection_data_set(data, lib.gtk_selection_data_get_target(data), 8,
		reinterpret_cast<const guchar*>(s.data()), int(s.size()));
}

void forget(GtkClipboard*, gpointer offer) { delete static_cast<Offer*>(offer); }

bool offer(const char* first, const char* second, Offer* data) {
	GtkTargetEntry targets[2] = {{const_cast<gchar*>(first), 0, 0}, {const_cast<gchar*>(second), 0, 1}};
	int count = second ? 2 : 1;
	if (!lib.gtk_clipboard_set_with_data(board(), targets, count, serve, forget, data)) {
		delete data;
		return false;
	}
	lib.gtk_clipboard_set_can_store(board(), nullptr, 0);
	return true;
}

// file:// URIs of the paths, made absolute from the current directory.
Offer* file_offer(const Cell* files) {
	auto* data = new Offer{"", "copy"};
	uint32_t count = spans::cells_of(files).count;
	for (uint32_t i = 0; i < count; i++) {
		Cell path = spans::cells_of(files).head[i], local;
		string::make_at(&local, 64);
		file::path_to_local(&path, &local, true);
		int32_t n = -1;
		const char* text = reinterpret_cast<const char*>(unicode::to_utf8(&local, &n));
		gchar* uri = g_filename_to_uri(text, nullptr, nullptr);
		if (!uri) continue;
		data->first.append(uri).append("\r\n");
		data->second.append("\n").append(uri);
		g_free(uri);
	}
	return data;
}

// A BMP file of a version 5 bitmap: 32-bit pixels with an alpha mask, rows
// top-down, the pixels as the image stores them.
std::string bitmap_v5(const uint32_t* pixels, uint32_t width, uint32_t height) {
	constexpr uint32_t FILE_HEADER = 14, INFO = 124;
	uint32_t size = width * height * 4;
	std::string b(FILE_HEADER + INFO, '\0');
	auto* p = reinterpret_cast<uint8_t*>(b.data());
	p[0] = 'B';
	p[1] = 'M';
	byte_order::store_le32(p + 2, FILE_HEADER + INFO + size);
	byte_order::store_le32(p + 10, FILE_HEADER + INFO);
	uint8_t* h = p + FILE_HEADER;
	byte_order::store_le32(h + 0, INFO);
	byte_order::store_le32(h + 4, width);
	byte_order::store_le32(h + 8, uint32_t(-int32_t(height)));
	h[12] = 1;    // planes
	h[14] = 32;   // bits per pixel
	h[16] = 3;    // bit fields
	byte_order::store_le32(h + 20, size);
	byte_order::store_le32(h + 40, 0x00FF0000);
	byte_order::store_le32(h + 44, 0x0000FF00);
	byte_order::store_le32(h + 48, 0x000000FF);
	byte_order::store_le32(h + 52, 0xFF000000);
	byte_order::store_le32(h + 56, 0x57696E20);  // the platform colour space
	byte_order::store_le32(h + 108, 4);          // intent: images
	b.append(reinterpret_cast<const char*>(pixels), size);
	return b;
}

Offer* image_offer(const Cell* img) {
	const uint32_t* pixels = image_record::pixels(image::record_of(img));
	uint32_t w = image::width_of(img), h = image::height_of(img);
	simple_io::Bytes png;
	if (!image_codec::encode(image_codec::PNG, pixels, w, h, png)) return nullptr;
	return new Offer{std::string(png.view()), bitmap_v5(pixels, w, h)};
}

bool write(const Cell* contents) {
	Cell c = *contents;
	switch (cell::type_of(&c)) {
	case T_STRING: {
		int32_t n = -1;
		const char* text = reinterpret_cast<const char*>(unicode::to_utf8(&c, &n));
		lib.gtk_clipboard_set_text(board(), text, n);
		lib.gtk_clipboard_set_can_store(board(), nullptr, 0);
		return true;
	}
	case T_BLOCK: return offer("text/uri-list", "x-special/gnome-copied-files", file_offer(&c));
	case T_IMAGE: {
		Offer* data = image_offer(&c);
		return data && offer("image/png", "image/bmp", data);
	}
	default: return offer(EMPTY_TARGET, nullptr, new Offer{});
	}
}

bool has(GdkAtom* targets, int count, const char* name) {
	GdkAtom wanted = lib.gdk_atom_intern_static_string(name);
	for (int i = 0; i < count; i++)
		if (targets[i] == wanted) return true;
	return false;
}

void read_files(gchar** uris, Cell* out) {
	block::make_at(out, int32_t(g_strv_length(uris)));
	for (gchar** u = uris; *u; u++) {
		gchar* path = g_filename_from_uri(*u, nullptr, nullptr);
		if (!path) continue;
		Cell file;
		string::load_at(&file, path);
		cell::set_type(&file, T_FILE);
		block::append_value(out, &file);
		g_free(path);
	}
}

// The first image target held, decoded; none when the bytes are no image.
bool read_image(GdkAtom* targets, int count, Cell* out) {
	for (const char* name : IMAGE_TARGETS) {
		if (!has(targets, count, name)) continue;
		GtkSelectionData* data = lib.gtk_clipboard_wait_for_contents(board(), lib.gdk_atom_intern_static_string(name));
		if (!data) return false;
		int n = 0;
		const guchar* bytes = lib.gtk_selection_data_get_data_with_length(data, &n);
		simple_io::Bytes copy;
		copy.append(bytes, size_t(n < 0 ? 0 : n));
		lib.gtk_selection_data_free(data);
		image::load_binary(out, copy.data(), copy.size());
		return true;
	}
	cell::make_none(out);
	return true;
}

void read_held(Cell* out) {
	GdkAtom* targets = nullptr;
	int count = 0;
	if (!lib.gtk_clipboard_wait_for_targets(board(), &targets, &count)) return cell::make_none(out);
	bool ok = true;
	if (lib.gtk_targets_include_text(targets, count)) {
		gchar* text = lib.gtk_clipboard_wait_for_text(board());
		if (text) {
			string::load_at(out, text);
			g_free(text);
		} else {
			ok = false;
		}
	} else if (lib.gtk_targets_include_uri(targets, count)) {
		gchar** uris = lib.gtk_clipboard_wait_for_uris(board());
		if (uris) {
			read_files(uris, out);
			g_strfreev(uris);
		} else {
			ok = false;
		}
	} else {
		ok = read_image(targets, count, out);
	}
	g_free(targets);
	if (!ok) cell::make_logic(out, false);
}

void read(Cell* out) {
	if (waiting) return cell::make_logic(out, false);
	waiting = true;
	read_held(out);
	waiting = false;
}

const clipboard::System SYSTEM = {available, read, write};

}  // namespace

void install() {
	const char* headless = std::getenv("VYN_HEADLESS");
	const char* display = std::getenv("DISPLAY");
	if ((headless && std::strcmp(headless, "1") == 0) || !display || !*display) return;
	clipboard::use(&SYSTEM);
	std::atexit(store_at_exit);
}

}  // namespace vyn::gtk_clipboard
