#include "runtime/datatypes/binary_base.h"

#include <cstring>
#include <vector>

#include "runtime/unicode.h"

namespace vyn::binary {

namespace {

constexpr char HEX[] = "0123456789ABCDEF";
constexpr char BASE58[] = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";
constexpr char BASE64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Character classes of the base 58 and 64 decoders: a digit value, or one
// of these.
constexpr int8_t INVALID = -1;
constexpr int8_t SKIP = -2;

struct Table {
	int8_t value[128];
};

constexpr Table make_table(const char* alphabet, int digits) {
	Table t{};
	for (int8_t& v : t.value) v = INVALID;
	for (int c : {8, 9, 10, 12, 13, 32, 39}) t.value[c] = SKIP;
	for (int i = 0; i < digits; i++) t.value[uint8_t(alphabet[i])] = int8_t(i);
	return t;
}

constexpr Table BASE58_TABLE = make_table(BASE58, 58);
constexpr Table BASE64_TABLE = make_table(BASE64, 64);

// Reads the units of a text, passing over ";" comments. The width is a
// template argument so that the unit reads compile to plain loads.
template <uint32_t W>
struct Reader {
	const uint8_t* text;
	uint32_t count;
	uint32_t i = 0;

	uint32_t unit(uint32_t k) const { return unicode::get_unit(text + size_t(k) * W, W); }

	// The next character outside comments; false at the end.
	bool next(uint32_t& c) {
		while (i < count) {
			c = unit(i++);
			if (c != ';') return true;
			while (i < count && unit(i) != '\n') i++;
		}
		return false;
	}
};

// Calls the decoder instantiated for the text's unit width.
template <template <uint32_t> class Decoder>
int64_t by_width(uint8_t* out, const uint8_t* text, uint32_t count, uint32_t width) {
	switch (width) {
	case 1: return Decoder<1>::run(out, text, count);
	case 2: return Decoder<2>::run(out, text, count);
	default: return Decoder<4>::run(out, text, count);
	}
}

constexpr Table make_hex_table() {
	Table t{};
	for (int8_t& v : t.value) v = INVALID;
	for (int c = '0'; c <= '9'; c++) t.value[c] = int8_t(c - '0');
	for (int c = 'A'; c <= 'F'; c++) t.value[c] = t.value[c + 32] = int8_t(c - 'A' + 10);
	return t;
}

constexpr Table HEX_TABLE = make_hex_table();

// Digit values by byte for the fast paths over one-byte text: 0xFF for
// anything that is not a digit (spaces, comments, padding, codes past 127),
// which sends that spot to the general loop.
struct ByteTable {
	uint8_t value[256];
};

constexpr ByteTable make_byte_table(const Table& t) {
	ByteTable b{};
	for (int c = 0; c < 256; c++) b.value[c] = c < 128 && t.value[c] >= 0 ? uint8_t(t.value[c]) : 0xFF;
	return b;
}

constexpr ByteTable HEX_BYTES = make_byte_table(HEX_TABLE);
constexpr ByteTable BASE64_BYTES = make_byte_table(BASE64_TABLE);

}  // namespace

uint64_t encoded_room(int32_t base, uint64_t n) {
	switch (base) {
	case 64: return 4 * (n / 3) + (4 * (n % 3)) / 3 + 2 * (n / 32) + 5;
	case 58: return 2 * n + 1;
	case 16: return 2 * n + n / 32 + 32;
	case 2: return 8 * n + 2 * (n / 8) + 4;
	default: return 0;
	}
}

uint32_t encode_base2(uint8_t* out, const uint8_t* bytes, uint32_t count) {
	uint8_t* o = out;
	for (uint32_t i = 0; i < count; i++)
		for (int bit = 7; bit >= 0; bit--) *o++ = uint8_t('0' + ((bytes[i] >> bit) & 1));
	return uint32_t(o - out);
}

uint32_t encode_base16(uint8_t* out, const uint8_t* bytes, uint32_t count) {
	// The two digits of every byte, looked up as one 16-bit store.
	static constexpr struct Pairs {
		uint8_t text[512];
		constexpr Pairs() : text{} {
			for (int i = 0; i < 256; i++) {
				text[2 * i] = uint8_t(HEX[i >> 4]);
				text[2 * i + 1] = uint8_t(HEX[i & 15]);
			}
		}
	} pairs;
	for (uint32_t i = 0; i < count; i++) std::memcpy(out + 2 * i, pairs.text + 2 * bytes[i], 2);
	return 2 * count;
}

uint32_t encode_base58(uint8_t* out, const uint8_t* bytes, uint32_t count) {
	uint32_t zeros = 0;
	while (zeros < count && bytes[zeros] == 0) zeros++;
	// Repeated division of the big-endian number by 58; digits come out
	// least significant first.
	std::vector<uint8_t> number(bytes + zeros, bytes + count);
	std::vector<uint8_t> digits;
	size_t start = 0;
	while (start < number.size()) {
		uint32_t remainder = 0;
		for (size_t j = start; j < number.size(); j++) {
			uint32_t acc = remainder * 256 + number[j];
			number[j] = uint8_t(acc / 58);
			remainder = acc % 58;
		}
		digits.push_back(uint8_t(BASE58[remainder]));
		while (start < number.size() && number[start] == 0) start++;
	}
	uint8_t* o = out;
	for (uint32_t i = 0; i < zeros; i++) *o++ = '1';
	for (size_t i = digits.size(); i-- > 0;) *o++ = digits[i];
	return uint32_t(o - out);
}

uint32_t encode_base64(uint8_t* out, const uint8_t* bytes, uint32_t count) {
	uint8_t* o = out;
	uint32_t i = 0;
	for (; i + 3 <= count; i += 3) {
		uint32_t v = uint32_t(bytes[i]) << 16 | uint32_t(bytes[i + 1]) << 8 | bytes[i + 2];
		*o++ = uint8_t(BASE64[v >> 18]);
		*o++ = uint8_t(BASE64[(v >> 12) & 63]);
		*o++ = uint8_t(BASE64[(v >> 6) & 63]);
		*o++ = uint8_t(BASE64[v & 63]);
	}
	if (i < count) {
		uint32_t v = uint32_t(bytes[i]) << 16 | (i + 1 < count ? uint32_t(bytes[i + 1]) << 8 : 0);
		*o++ = uint8_t(BASE64[v >> 18]);
		*o++ = uint8_t(BASE64[(v >> 12) & 63]);
		*o++ = i + 1 < count ? uint8_t(BASE64[(v >> 6) & 63]) : '=';
		*o++ = '=';
	}
	return uint32_t(o - out);
}

uint64_t decoded_room(int32_t base, uint64_t n) {
	switch (base) {
	case 2: return n / 8 + 1;
	case 16: return n / 2 + 1;
	case 58: return n + 1;
	case 64: return (n * 3 + 9) / 4;
	default: return 0;
	}
}

namespace {

template <uint32_t W>
struct Base2Decoder {
	static int64_t run(uint8_t* out, const uint8_t* text, uint32_t count) {
		Reader<W> r{text, count};
		uint32_t c, bits = 0, acc = 0;
		int64_t n = 0;
		while (r.next(c)) {
			if (c <= ' ') continue;
			if (c != '0' && c != '1') return -1;
			acc = (acc << 1) | (c - '0');
			if (++bits == 8) {
				out[n++] = uint8_t(acc);
				bits = acc = 0;
			}
		}
		return bits ? -1 : n;
	}
};

template <uint32_t W, bool Strict>
struct Base16Decoder {
	static int64_t run(uint8_t* out, const uint8_t* text, uint32_t count) {
		Reader<W> r{text, count};
		uint32_t c;
		int high = -1;
		int64_t n = 0;
		for (;;) {
			if constexpr (W == 1) {
				// Whole pairs of digits at once, in locals: stores through
				// the output may alias anything.
				if (high < 0) {
					const uint8_t* p = text + r.i;
					const uint8_t* end = text + count;
					uint8_t* o = out + n;
					while (end - p >= 2) {
						uint32_t a = HEX_BYTES.value[p[0]], b = HEX_BYTES.value[p[1]];
						if ((a | b) > 15) break;
						*o++ = uint8_t(a << 4 | b);
						p += 2;
					}
					r.i = uint32_t(p - text);
					n = o - out;
				}
			}
			if (!r.next(c)) break;
			if (c <= ' ') continue;
			// Codes past 127 are refused, not folded onto ASCII digits.
			int v = c < 128 ? HEX_TABLE.value[c] : INVALID;
			if (v < 0) return -1;
			if (high < 0) {
				high = v;
			} else {
				out[n++] = uint8_t(high << 4 | v);
				high = -1;
			}
		}
		if (high >= 0 && Strict) return -1;
		return n;  // an odd last digit is dropped
	}
};

template <uint32_t W>
struct Base58Decoder {
	static int64_t run(uint8_t* out, const uint8_t* text, uint32_t count) {
		Reader<W> r{text, count};
		uint32_t c;
		uint32_t zeros = 0;
		bool leading = true;
		// The number, big-endian, grown by repeated multiplication.
		std::vector<uint8_t> number;
		while (r.next(c)) {
			if (c > 127) return -1;
			int8_t v = BASE58_TABLE.value[c];
			if (v == SKIP) continue;
			if (v == INVALID) return -1;
			if (leading && v == 0) {
				zeros++;
				continue;
			}
			leading = false;
			uint32_t carry = uint32_t(v);
			for (size_t j = number.size(); j-- > 0;) {
				carry += uint32_t(number[j]) * 58;
				number[j] = uint8_t(carry);
				carry >>= 8;
			}
			while (carry) {
				number.insert(number.begin(), uint8_t(carry));
				carry >>= 8;
			}
		}
		std::memset(out, 0, zeros);
		if (!number.empty()) std::memcpy(out + zeros, number.data(), number.size());
		return int64_t(zeros) + int64_t(number.size());
	}
};

template <uint32_t W, bool Strict>
struct Base64Decoder {
	static int64_t run(uint8_t* out, const uint8_t* text, uint32_t count) {
		Reader<W> r{text, count};
		uint32_t c, acc = 0;
		int digits = 0;
		int64_t n = 0;
		for (;;) {
			if constexpr (W == 1) {
				// Whole groups of four digits at once, in locals as above.
				if (digits == 0) {
					const uint8_t* p = text + r.i;
					const uint8_t* end = text + count;
					uint8_t* o = out + n;
					while (end - p >= 4) {
						uint32_t a = BASE64_BYTES.value[p[0]], b = BASE64_BYTES.value[p[1]];
						uint32_t c2 = BASE64_BYTES.value[p[2]], d = BASE64_BYTES.value[p[3]];
						if ((a | b | c2 | d) > 63) break;
						uint32_t v = a << 18 | b << 12 | c2 << 6 | d;
						o[0] = uint8_t(v >> 16);
						o[1] = uint8_t(v >> 8);
						o[2] = uint8_t(v);
						o += 3;
						p += 4;
					}
					r.i = uint32_t(p - text);
					n = o - out;
				}
			}
			if (!r.next(c)) break;
			if (c > 127) return -1;
			if (c == '=') {
				if (digits == 3) {
					out[n++] = uint8_t(acc >> 10);
					out[n++] = uint8_t(acc >> 2);
					return n;
				}
				if (digits == 2) {
					r.next(c);  // the second "=" is passed over
					out[n++] = uint8_t(acc >> 4);
					return n;
				}
				return -1;
			}
			int8_t v = BASE64_TABLE.value[c];
			if (v == SKIP) continue;
			if (v == INVALID) return -1;
			acc = acc << 6 | uint32_t(v);
			if (++digits == 4) {
				out[n++] = uint8_t(acc >> 16);
				out[n++] = uint8_t(acc >> 8);
				out[n++] = uint8_t(acc);
				acc = 0;
				digits = 0;
			}
		}
		// Digits left over without padding still give their whole bytes;
		// a single digit holds none.
		if (Strict && digits) return -1;
		if (digits == 3) {
			out[n++] = uint8_t(acc >> 10);
			out[n++] = uint8_t(acc >> 2);
		} else if (digits == 2) {
			out[n++] = uint8_t(acc >> 4);
		}
		return n;
	}
};

template <uint32_t W>
using Base16Lenient = Base16Decoder<W, false>;
template <uint32_t W>
using Base64Lenient = Base64Decoder<W, false>;

}  // namespace

int64_t decode_base2(uint8_t* out, const uint8_t* text, uint32_t count, uint32_t width) {
	return by_width<Base2Decoder>(out, text, count, width);
}
int64_t decode_base16(uint8_t* out, const uint8_t* text, uint32_t count, uint32_t width) {
	return by_width<Base16Lenient>(out, text, count, width);
}
int64_t decode_base58(uint8_t* out, const uint8_t* text, uint32_t count, uint32_t width) {
	return by_width<Base58Decoder>(out, text, count, width);
}
int64_t decode_base64(uint8_t* out, const uint8_t* text, uint32_t count, uint32_t width) {
	return by_width<Base64Lenient>(out, text, count, width);
}

int64_t decode_literal(uint8_t* out, int32_t base, const uint8_t* text, uint32_t count) {
	switch (base) {
	case 2: return Base2Decoder<1>::run(out, text, count);
	case 16: return Base16Decoder<1, true>::run(out, text, count);
	case 64: return Base64Decoder<1, true>::run(out, text, count);
	default: return -1;
	}
}

}  // namespace vyn::binary
