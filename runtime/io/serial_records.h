// The serialised container shared by the writer and the reader: magic,
// flag bits, prefix and lead bytes of the compact records, header bits of
// the fixed-width records.
//
// Container: "VYNBIN", a version byte, a flags byte, then the header of the
// encoding (compact: varints; fixed-width: 32-bit words), an optional
// symbol table and the payload, one record per value. Shared series and
// contexts are written once; later meetings are paths of positions from
// the output block (serial_reader.cpp resolves them).
#pragma once

#include <cstdint>

namespace vyn::serial_records {

constexpr uint8_t MAGIC[6] = {'V', 'Y', 'N', 'B', 'I', 'N'};
constexpr uint8_t VERSION = 2;
constexpr uint32_t PREAMBLE = 8;  // magic, version, flags

// Flags byte.
constexpr uint8_t FLAG_COMPACT = 1;
constexpr uint8_t FLAG_CRUSHED = 2;
constexpr uint8_t FLAG_SYMBOLS = 4;

// Compact prefixes and lead bytes.
constexpr uint8_t PREFIX_NEW_LINE = 0xC0;
constexpr uint8_t PREFIX_REFERENCE = 0xC1;
constexpr uint8_t LEAD_TRUE = 0xC2;
constexpr uint8_t LEAD_FALSE = 0xC3;
constexpr uint8_t PREFIX_SET = 0xC4;
constexpr uint8_t LEAD_SMALL_INTEGER = 0x80;  // 0x80 + n for 0 <= n <= 63
constexpr uint8_t LEAD_WHOLE_REFERENCE = 0xFF;
constexpr uint8_t LEAD_FLAG = 0x40;
constexpr uint8_t LEAD_ID_MASK = 0x3F;
constexpr uint8_t LEAD_ID_ESCAPE = 63;

// Context record flags (compact), and the fixed-width header bits that
// carry the same facts.
constexpr uint8_t CONTEXT_KIND_MASK = 0x03;
constexpr uint8_t CONTEXT_STACK = 0x04;
constexpr uint8_t CONTEXT_MAKER = 0x08;
constexpr uint8_t CONTEXT_VALUES = 0x10;

// Fixed-width record header word.
constexpr uint32_t FIXED_PADDING = 0;
constexpr uint32_t FIXED_PATH = 255;
constexpr uint32_t FIXED_REFERENCE = 1u << 19;
constexpr uint32_t FIXED_MONEY_NEGATIVE = 1u << 22;
constexpr uint32_t FIXED_COMPLEMENTED = 1u << 23;
constexpr uint32_t FIXED_HANDLERS = 1u << 24;
constexpr uint32_t FIXED_WORD_GLOBAL = 1u << 25;  // codec form; boot form: a set follows
constexpr uint32_t FIXED_NEW_LINE = 1u << 31;
constexpr uint32_t FIXED_CONTEXT_MAKER = 1u << 28;
constexpr uint32_t FIXED_CONTEXT_STACK = 1u << 29;
constexpr uint32_t FIXED_CONTEXT_VALUES = 1u << 30;
constexpr uint32_t FIXED_CONTEXT_KIND_SHIFT = 26;

// Compact floats, times and percents stay integral within these bounds.
constexpr double COMPACT_FLOAT_LIMIT = 2147483000.0;
constexpr double COMPACT_PERCENT_LIMIT = 21474836.0;

// Paths hold 1 to this many positions.
constexpr uint32_t MAX_PATH = 65536;

}  // namespace vyn::serial_records
