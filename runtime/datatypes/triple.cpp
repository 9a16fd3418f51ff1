#include "runtime/datatypes/triple.h"

#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/string.h"
#include "runtime/registry.h"

namespace vyn::triple {

namespace {

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
	char text[64] = "make triple! [";
	char* p = text + 14;
	const uint32_t* words = &value->data1;
	for (int i = 0; i < 3; i++) {
		if (i) *p++ = ' ';
		p = integer::form_signed(int32_t(words[i]), p);
	}
	*p++ = ']';
	std::string_view written(text, size_t(p - text));
	string::append_literal(buffer, written);
	return part - int32_t(written.size());
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* arg, int32_t part, int32_t) {
	return form(value, buffer, arg, part);
}

}  // namespace

void init_type() {
	ActionRow row{};
	row.form = form;
	row.mold = mold;
	registry::register_type(T_TRIPLE, Type(0), "triple!", row);
}

}  // namespace vyn::triple
