// HTTP and HTTPS requests on libcurl: one synchronous request, its answer
// turned into values (the url! actions' request_http service, file.h).
//
// A transfer runs with no Vyn value in reach: the request is first copied
// into C++ strings, libcurl's callbacks only append to C++ buffers, and the
// values are built once libcurl has returned. So no Vyn code runs, no error
// is raised and no series moves inside a libcurl frame.
//
// What goes on the wire is what the caller gave: the method, the URL, the
// headers in their order (libcurl's own Accept, Expect and Content-Type
// are held back) and the body with its explicit size. HTTP/1.1 is forced,
// redirects are followed between http and https only, TLS peers are
// verified, and a connection that stalls times out. An HTTP error status
// is an answer like any other.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/cell.h"
#include "runtime/io/simple_io.h"

namespace vyn::http {

// One header line, as sent or received.
struct Header {
	std::string name;
	std::string value;
};

struct Request {
	std::string method;           // an HTTP token, upper-cased
	std::string url;              // escaped for the request line
	std::vector<Header> headers;  // sent in this order, nothing else added
	bool has_body = false;        // GET and HEAD never send one
	simple_io::Bytes body;
};

struct Response {
	int32_t status = 0;
	std::vector<Header> headers;  // of the last status line (after redirects)
	simple_io::Bytes body;
};

// Performs the request; false when no answer came (the host cannot be
// resolved or reached, TLS fails, the transfer breaks or times out, or the
// answer outgrows what a value can hold).
bool perform(const Request& request, Response& response);

// The default headers, sent when the caller gives no header block.
const std::vector<Header>& default_headers();

// True when the text is an HTTP token (a method or a header name).
bool is_token(std::string_view text);

// A URL's text with what may not stand in a request line escaped as %XX:
// controls, space, bytes of non-ASCII characters and " < > \ ^ ` { | }.
// A "%" stays as it is: the text may hold escapes already.
std::string escape_url(std::string_view text);

// Reads one received header line (its CR LF included or not) into the
// list: a status line starts a new list, a line beginning with white space
// continues the last value, a line without a colon is skipped. The value
// starts after the white space that follows the colon and ends before
// the white space that ends the line.
void read_header_line(std::string_view line, std::vector<Header>& headers);

// The url! actions' service: method (any word or a string!), url, header
// block or null, body (string!, binary!, other values formed) or null. Fills
// `out` and answers true, or answers false when no answer came. A method or
// header name that is not a token, a header value holding CR, LF or NUL,
// and a name without a value raise script invalid-arg.
bool request(const Cell* method, Cell* url, const Cell* headers, const Cell* body, bool binary, bool lines,
	bool info, Cell* out);

// Installs request() in file::io.
void init();

}  // namespace vyn::http
