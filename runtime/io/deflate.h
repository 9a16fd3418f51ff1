// DEFLATE (RFC 1951) with the zlib (RFC 1950) and gzip (RFC 1952) framings.
//
// The writer emits one block with the fixed Huffman code, from a single
// greedy pass over a 16 KB match table. The inflater reads stored, fixed and
// dynamic blocks.
//
// Every routine takes (output, room, input, length) and never allocates.
// `room` is in/out: on entry the bytes the output may take, on return the
// bytes the complete output needs, also when that is more than the room.
// Nothing is stored past the room; ROOM answers that the caller should
// retry with the reported size. A null output stores nothing and reports
// the size (the uncompressing routines decode the whole input to learn it,
// so a reported size is never taken on trust from a header or trailer).
#pragma once

#include <cstddef>
#include <cstdint>

namespace vyn::deflate {

enum Result : int {
	DONE = 0,
	ROOM = 1,          // the output needs more room than given; room holds the size
	BAD_DATA = 2,      // corrupt, truncated or unsupported input; for the writers, room below the framing
	SHORT_STORED = 3,  // a stored block longer than the rest of the input
	BAD_BLOCK = 4,     // block type 3
	BAD_DISTANCE = 5,  // a match reaching before the output's start; room holds the bytes produced
};

// Raw DEFLATE.
int compress(uint8_t* out, uint32_t& room, const uint8_t* in, size_t length);
int uncompress(uint8_t* out, uint32_t& room, const uint8_t* in, size_t length);

// zlib: header 78 01, DEFLATE data, big-endian Adler-32 of the data.
int zlib_compress(uint8_t* out, uint32_t& room, const uint8_t* in, size_t length);
int zlib_uncompress(uint8_t* out, uint32_t& room, const uint8_t* in, size_t length);

// gzip: one member; compressing data that already is gzip copies it.
int gzip_compress(uint8_t* out, uint32_t& room, const uint8_t* in, size_t length);
int gzip_uncompress(uint8_t* out, uint32_t& room, const uint8_t* in, size_t length);

}  // namespace vyn::deflate
