#include "runtime/print_hooks.h"

#include <algorithm>

namespace vyn::dyn_print {

HookList<ValuePrinter> value_printers;
HookList<TextPrinter> text_printers;
bool initialised = false;

namespace {

template <class F>
void reset(HookList<F>& list) {
	list.items = std::make_unique<F[]>(GROWTH);
	list.count = 0;
	list.capacity = GROWTH;
}

template <class F>
void append(HookList<F>& list, F hook) {
	if (list.count == list.capacity) {
		auto larger = std::make_unique<F[]>(list.capacity + GROWTH);
		std::copy_n(list.items.get(), list.count, larger.get());
		list.items = std::move(larger);
		list.capacity += GROWTH;
	}
	list.items[list.count++] = hook;
}

template <class F>
void drop(HookList<F>& list, F hook) {
	F* begin = list.items.get();
	F* end = begin + list.count;
	F* found = std::find(begin, end, hook);
	if (found == end) return;
	std::copy(found + 1, end, found);
	list.count--;
}

}  // namespace

void init() {
	reset(value_printers);
	reset(text_printers);
	initialised = true;
}

void add(ValuePrinter value_printer, TextPrinter text_printer) {
	if (!initialised) init();
	if (value_printer) append(value_printers, value_printer);
	if (text_printer) append(text_printers, text_printer);
}

void remove(ValuePrinter value_printer, TextPrinter text_printer) {
	if (!initialised) return;
	if (value_printer) drop(value_printers, value_printer);
	if (text_printer) drop(text_printers, text_printer);
}

// A hook may add or remove hooks: the array is indexed afresh at each step.
void call_print_hooks(const Cell* text, int32_t length) {
	for (uint32_t i = 0; i < value_printers.count; i++) value_printers.items[i](text, length);
}

void call_console_hooks(const char* text, uint32_t length, uint32_t flag) {
	for (uint32_t i = 0; i < text_printers.count; i++) text_printers.items[i](text, length, flag);
}

}  // namespace vyn::dyn_print
