// CRUSH: the LZ77 scheme of compressed serialised payloads and boot data.
//
// Stream: compressed size C (bytes after the 8-byte header) and expanded
// size U, both 32-bit little-endian, then blocks. A block is its expanded
// length L (1 .. BLOCK, 32-bit little-endian) and its tokens, least
// significant bit first, padded to a byte. Blocks are independent: a match
// never reaches before its block's first byte.
//
// Tokens: literal = 0, then the byte in 8 bits. Match = 1, a length class
// (prefix 1 / 01 / 001 / 0001 / 00001 / 00000 with a 2 / 2 / 2 / 3 / 5 / 9-bit
// field; length = base 0 / 4 / 8 / 12 / 20 / 52 + field + 3), then a 4-bit
// distance slot s: s = 0 takes 3 bits d, s >= 1 takes k = s + 2 bits and
// d = 2^k + field; the source lies d + 1 bytes back.
//
// Neither routine allocates: the decompressor writes into the caller's room
// and reports the size it needs; the compressor's tables are the caller's.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vyn::crush {

constexpr uint32_t BLOCK = 0x100000;   // bytes a block expands to, at most
constexpr uint32_t MIN_INPUT = 128;    // shorter inputs are not compressed
constexpr uint32_t MAX_MATCH = 566;
constexpr uint32_t WINDOW = 0x40000;   // farthest match source, in bytes

enum Result : int { DONE = 0, ROOM = 1, CORRUPT = 2 };

// Match-finder tables of the compressor (about 7 MB): own one per thread.
// Positions are stored as `base` + offset in the block; `base` moves past
// each block, so entries of earlier blocks read as empty without clearing
// 7 MB per block. base 0: the tables have never been cleared.
struct Workspace {
	uint32_t base = 0;
	uint32_t head3[1 << 19];  // latest position by 3-byte hash
	uint32_t head4[1 << 20];  // latest position by 4-byte hash
	uint32_t chain[WINDOW];   // previous position with the same 4-byte hash
};

// Compresses n bytes into `out`, which has room for n bytes. Answers the
// size written (header included), or -1 when n is below MIN_INPUT or the
// blocks would not fit in n - 8 bytes (the data then stays as it is).
int64_t compress(const uint8_t* in, uint32_t n, uint8_t* out, Workspace& work);

// Expands a stream of `length` bytes into `out` (room bytes). The stream is
// checked whole: every read stays inside it and exactly U bytes must come
// out, else CORRUPT. Sets room to U; answers ROOM (nothing written) when U
// exceeds the room. With a null `out` it only checks the stream and reports
// U. A stream is never trusted for the size before it has been decoded.
int decompress(uint8_t* out, uint32_t& room, const uint8_t* in, size_t length);

}  // namespace vyn::crush
