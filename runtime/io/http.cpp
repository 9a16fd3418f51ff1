#include "runtime/io/http.h"

// The function forms of curl_easy_setopt and curl_easy_getinfo, called through pointers.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>

#include <cstring>
#include <memory>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/file.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/spans.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions.h"
#include "runtime/evaluator/stack.h"
#include "runtime/shared_library.h"
#include "runtime/symbol.h"

namespace vyn::http {

namespace {

// libcurl is loaded at the first request.
#define CURL_FUNCTIONS(X) X(curl_global_init) X(curl_easy_init) X(curl_easy_cleanup) X(curl_easy_setopt) X(curl_easy_getinfo) X(curl_easy_perform) X(curl_slist_append) X(curl_slist_free_all)

struct {
	CURL_FUNCTIONS(VYN_LIBRARY_FIELD)
} lib;

// The largest body a value can hold (a series' size is 32-bit).
constexpr size_t MAX_BODY = 0xFFFFFF00u;
// libcurl bounds each header line, not their number: a server that never
// ends its headers is cut off here.
constexpr size_t MAX_HEADER_BYTES = size_t(16) << 20;
constexpr long MAX_REDIRECTS = 10;
constexpr long CONNECT_TIMEOUT_S = 60;
// A transfer that moves less than a byte a second for this long has stalled;
// a slow but steady download is never cut.
constexpr long STALL_TIMEOUT_S = 30;

inline bool is_ows(char c) { return c == ' ' || c == '\t'; }

// What the callbacks fill while libcurl runs.
struct Transfer {
	Response* response;
	size_t header_bytes = 0;
	bool overflow = false;
};

size_t on_body(char* data, size_t size, size_t count, void* self) {
	auto* t = static_cast<Transfer*>(self);
	size_t n = size * count;
	simple_io::Bytes& body = t->response->body;
	if (n > MAX_BODY - body.size() || !body.append(reinterpret_cast<const uint8_t*>(data), n)) {
		t->overflow = true;
		return 0;  // ends the transfer
	}
	return n;
}

size_t on_header(char* data, size_t size, size_t count, void* self) {
	auto* t = static_cast<Transfer*>(self);
	size_t n = size * count;
	t->header_bytes += n;
	if (t->header_bytes > MAX_HEADER_BYTES) {
		t->overflow = true;
		return 0;
	}
	read_header_line(std::string_view(data, n), t->response->headers);
	return n;
}

struct CurlHandle {
	CURL* curl = lib.curl_easy_init();
	curl_slist* headers = nullptr;
	~CurlHandle() {
		lib.curl_slist_free_all(headers);
		if (curl) lib.curl_easy_cleanup(curl);
	}
};

bool add_line(curl_slist*& list, const std::string& line) {
	curl_slist* grown = lib.curl_slist_append(list, line.c_str());
	if (!grown) return false;
	list = grown;
	return true;
}

bool names_header(const Request& r, const char* name) {
	for (const Header& h : r.headers)
		if (strcasecmp(h.name.c_str(), name) == 0) return true;
	return false;
}

// The caller's headers in order; then the headers libcurl would add on its
// own are held back ("Name:" removes one). "Name;" is libcurl's spelling of
// a header sent with an empty value.
bool header_list(const Request& r, curl_slist*& list) {
	for (const Header& h : r.headers)
		if (!add_line(list, h.value.empty() ? h.name + ";" : h.name + ": " + h.value)) return false;
	for (const char* own : {"Accept", "Expect", "Content-Type"})
		if (!names_header(r, own) && !add_line(list, std::string(own) + ":")) return false;
	return true;
}

bool set_method(CURL* curl, const Request& r) {
	bool ok = true;
	if (r.method == "GET") return lib.curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L) == CURLE_OK;
	if (r.method == "HEAD") return lib.curl_easy_setopt(curl, CURLOPT_NOBODY, 1L) == CURLE_OK;
	if (r.method != "POST") ok = lib.curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, r.method.c_str()) == CURLE_OK;
	// POST always carries a body, empty when none was given; other methods
	// only the one given. The size is explicit: a body may hold NUL bytes.
	if (r.method == "POST" || r.has_body) {
		// A null field would make libcurl ask for a read callback.
		const void* fields = r.body.empty() ? static_cast<const void*>("") : r.body.data();
		ok = ok && lib.curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(r.body.size())) == CURLE_OK;
		ok = ok && lib.curl_easy_setopt(curl, CURLOPT_POSTFIELDS, fields) == CURLE_OK;
	}
	return ok;
}

bool configure(CurlHandle& h, const Request& r, Transfer& t) {
	CURL* c = h.curl;
	bool ok = header_list(r, h.headers);
	auto set = [&](CURLoption option, auto value) { ok = ok && lib.curl_easy_setopt(c, option, value) == CURLE_OK; };
	set(CURLOPT_URL, r.url.c_str());
	set(CURLOPT_PROTOCOLS_STR, "http,https");
	set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
	set(CURLOPT_FOLLOWLOCATION, 1L);
	set(CURLOPT_MAXREDIRS, MAX_REDIRECTS);
	set(CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
	set(CURLOPT_CONNECTTIMEOUT, CONNECT_TIMEOUT_S);
	set(CURLOPT_LOW_SPEED_LIMIT, 1L);
	set(CURLOPT_LOW_SPEED_TIME, STALL_TIMEOUT_S);
	set(CURLOPT_NOSIGNAL, 1L);
	set(CURLOPT_HTTPHEADER, h.headers);
	set(CURLOPT_WRITEFUNCTION, on_body);
	set(CURLOPT_WRITEDATA, static_cast<void*>(&t));
	set(CURLOPT_HEADERFUNCTION, on_header);
	set(CURLOPT_HEADERDATA, static_cast<void*>(&t));
	return ok && set_method(c, r);
}

bool start_curl() {
	static const bool started = shared_library::load("libcurl.so.4", {CURL_FUNCTIONS(VYN_LIBRARY_ENTRY)}) &&
		lib.curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
	return started;
}

// ---- From values to the request ----

inline char upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; }

// The text of a header name or value: a word's spelling, a string!'s text,
// any other value formed.
std::string text_of(const Cell* value, bool words) {
	Cell v = *value;
	if (words && word::is_any_word(cell::type_of(&v)) && !cell::is(&v, T_REFINEMENT) && !cell::is(&v, T_ISSUE))
		return std::string(symbol::name(v.data2));
	if (cell::is(&v, T_STRING)) return simple_io::utf8_text(&v);
	Cell* formed = stack::alloc_slot();
	string::make_at(formed, 64);
	actions::form(&v, formed, nullptr, 0x7FFFFFFF);
	std::string text = simple_io::utf8_text(formed);
	stack::top--;
	return text;
}

std::string method_of(const Cell* method) {
	Type t = cell::type_of(method);
	if (!word::is_any_word(t) && !cell::is(method, T_STRING)) errors::fire(errors::id::script_invalid_arg, method);
	std::string text = text_of(method, true);
	for (char& c : text) c = upper(c);
	if (!is_token(text)) errors::fire(errors::id::script_invalid_arg, method);
	return text;
}

// A value may not end the header line early or smuggle in another one.
bool fits_header(const std::string& value) { return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos; }

void read_headers(const Cell* block, std::vector<Header>& out) {
	spans::Cells cells = spans::cells_of(block);
	for (uint32_t i = 0; i < cells.count; i += 2) {
		// Cells are read again each step: forming a value may allocate.
		const Cell* name = spans::cells_of(block).head + i;
		if (i + 1 == cells.count) errors::fire(errors::id::script_invalid_arg, name);
		Header h{text_of(name, true), ""};
		if (!is_token(h.name)) errors::fire(errors::id::script_invalid_arg, name);
		const Cell* value = spans::cells_of(block).head + i + 1;
		h.value = text_of(value, false);
		if (!fits_header(h.value)) errors::fire(errors::id::script_invalid_arg, value);
		out.push_back(std::move(h));
	}
}

// ---- From the response to values ----

// An unbound word: header names must not fill the global context.
Cell* name_word(Cell* out, const std::string& name) {
	cell::set(out, T_WORD, 0, symbol::make(name), 0xFFFFFFFFu);
	return out;
}

// Each name once; a name met again holds a block of its values in order.
void header_map(const std::vector<Header>& headers, Cell* out) {
	map::make_at(out, 0, 40);
	for (const Header& h : headers) {
		if (h.name.empty()) continue;
		Cell key, text;
		name_word(&key, h.name);
		simple_io::load_lenient_text(h.value, &text);
		Cell* entry = map::find_entry(out, &key, COMP_EQUAL);
		if (!entry) {
			map::set_value(out, &key, &text, false);
		} else if (cell::is(entry + 1, T_BLOCK)) {
			Cell values = entry[1];
			block::append_value(&values, &text);
		} else {
			Cell first = entry[1], values;
			block::make_at(&values, 4);
			block::append_value(&values, &first);
			block::append_value(&values, &text);
			map::set_value(out, &key, &values, false);
		}
	}
}

void body_value(const simple_io::Bytes& body, bool binary, bool lines, Cell* out) {
	if (binary)
		simple_io::load_binary(body.data(), body.size(), out);
	else if (lines)
		simple_io::lines_to_block(body, out);
	else
		simple_io::load_text(body.data(), body.size(), out);
}

}  // namespace

const std::vector<Header>& default_headers() {
	static const std::vector<Header> headers = {
		{"Content-Type", "application/x-www-form-urlencoded"},
		{"Accept-Charset", "UTF-8"},
		{"User-Agent", "Mozilla/5.0 (Windows NT 6.1; Win64; x64)"},
	};
	return headers;
}

bool is_token(std::string_view text) {
	if (text.empty()) return false;
	for (char c : text) {
		bool alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
		if (!alnum && !std::strchr("!#$%&'*+-.^_`|~", c)) return false;
	}
	return true;
}

std::string escape_url(std::string_view text) {
	static constexpr char HEX[] = "0123456789ABCDEF";
	std::string out;
	out.reserve(text.size());
	for (char ch : text) {
		auto b = uint8_t(ch);
		if (b > 0x20 && b < 0x7F && !std::strchr("\"<>\\^`{|}", ch)) {
			out += ch;
			continue;
		}
		out += '%';
		out += HEX[b >> 4];
		out += HEX[b & 15];
	}
	return out;
}

void read_header_line(std::string_view line, std::vector<Header>& headers) {
	while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
	auto trim = [](std::string_view s) {
		while (!s.empty() && is_ows(s.front())) s.remove_prefix(1);
		while (!s.empty() && is_ows(s.back())) s.remove_suffix(1);
		return s;
	};
	if (line.substr(0, 5) == "HTTP/") {
		headers.clear();
		return;
	}
	if (!line.empty() && is_ows(line.front())) {
		std::string_view more = trim(line);
		if (headers.empty() || more.empty()) return;
		std::string& value = headers.back().value;
		if (!value.empty()) value += ' ';
		value += more;
		return;
	}
	size_t colon = line.find(':');
	if (colon == std::string_view::npos) return;
	headers.push_back({std::string(trim(line.substr(0, colon))), std::string(trim(line.substr(colon + 1)))});
}

bool perform(const Request& request, Response& response) {
	if (!start_curl()) return false;
	CurlHandle h;
	if (!h.curl) return false;
	Transfer t{&response};
	if (!configure(h, request, t)) return false;
	CURLcode done = lib.curl_easy_perform(h.curl);
	if (t.overflow) errors::fire(errors::id::internal_no_memory);
	if (done != CURLE_OK) return false;
	long status = 0;
	lib.curl_easy_getinfo(h.curl, CURLINFO_RESPONSE_CODE, &status);
	response.status = int32_t(status);
	return true;
}

bool request(const Cell* method, Cell* url, const Cell* headers, const Cell* body, bool binary, bool lines,
	bool info, Cell* out) {
	Request r;
	r.method = method_of(method);
	r.url = escape_url(simple_io::utf8_text(url));
	if (headers)
		read_headers(headers, r.headers);
	else
		r.headers = default_headers();
	if (body && r.method != "GET" && r.method != "HEAD") {
		Cell b = *body;
		simple_io::value_to_bytes(&b, -1, r.body);
		r.has_body = true;
	}
	Response response;
	if (!perform(r, response)) return false;
	if (!info) {
		body_value(response.body, binary, lines, out);
		return true;
	}
	block::make_at(out, 3);
	Cell status, value;
	cell::make_integer(&status, response.status);
	block::append_value(out, &status);
	header_map(response.headers, &value);
	block::append_value(out, &value);
	body_value(response.body, binary, lines, &value);
	block::append_value(out, &value);
	return true;
}

void init() { file::io.request_http = request; }

}  // namespace vyn::http
