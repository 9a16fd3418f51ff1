// The print hooks: every piece of text the language prints leaves the
// runtime through these two callback lists (the console registers its pair).
//
// Invariants: each list holds `count` callbacks in registration order in an
// array of `capacity` entries; a full array is replaced by one GROWTH entries
// larger. Callbacks are never null.
#pragma once

#include <cstdint>
#include <memory>

#include "runtime/cell.h"

namespace vyn::dyn_print {

// Value printers: the string value `print`/`prin` formed, and its length.
using ValuePrinter = void (*)(const Cell* text, int32_t length);
// Raw-text printers: UTF-8 bytes from the runtime's low-level console output.
using TextPrinter = void (*)(const char* text, uint32_t length, uint32_t flag);

constexpr uint32_t GROWTH = 5;

template <class F>
struct HookList {
	std::unique_ptr<F[]> items;
	uint32_t count = 0;
	uint32_t capacity = 0;
};

extern HookList<ValuePrinter> value_printers;
extern HookList<TextPrinter> text_printers;
extern bool initialised;

// Empties both lists, giving each room for GROWTH callbacks.
void init();
// Appends each non-null callback to its list.
void add(ValuePrinter value_printer, TextPrinter text_printer);
// Removes the first entry equal to each non-null callback.
void remove(ValuePrinter value_printer, TextPrinter text_printer);

void call_print_hooks(const Cell* text, int32_t length);
void call_console_hooks(const char* text, uint32_t length, uint32_t flag);

}  // namespace vyn::dyn_print
