// Libraries loaded at their first use rather than at start-up: each one a
// program maps costs start-up time (the system's libraries resolve every
// symbol when they load), and most runs never fetch a URL, read a TIFF file
// or reach a display.
//
// A user lists the functions it calls in an X-macro and keeps them in a
// table of pointers of their own types:
//
//   #define CURL_FUNCTIONS(X) X(curl_easy_init) X(curl_easy_cleanup)
//   struct { CURL_FUNCTIONS(VYN_LIBRARY_FIELD) } lib;
//   bool ok = shared_library::load("libcurl.so.4", {CURL_FUNCTIONS(VYN_LIBRARY_ENTRY)});
#pragma once

#include <initializer_list>

#define VYN_LIBRARY_FIELD(name) decltype(&::name) name;
#define VYN_LIBRARY_ENTRY(name) {#name, reinterpret_cast<void**>(&lib.name)},

namespace vyn::shared_library {

struct Entry {
	const char* name;
	void** function;
};

// Opens the library (once; later calls answer the first answer) and fills
// every entry; false when the library or one of the functions is missing.
bool load(const char* soname, std::initializer_list<Entry> entries);

}  // namespace vyn::shared_library
