#include "runtime/io/image_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "runtime/collector.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/image.h"
#include "runtime/io/image_codec.h"
#include "tests/unit/object_support.h"

namespace vyn::test::objects {
namespace {

class ImageRecord : public ObjectScript {
protected:
	void SetUp() override {
		ObjectScript::SetUp();
		collector::active = true;
		released = 0;
		image_record::release_platform = count_release;
	}
	void TearDown() override {
		image_record::release_platform = nullptr;
		collector::stress = false;
		collector::active = false;
		ObjectScript::TearDown();
	}
	static int released;
	static void count_release(void*) { released++; }

	static std::vector<uint32_t> pixels(Node n) {
		return {image_record::pixels(n), image_record::pixels(n) + image_record::count(n)};
	}
};
int ImageRecord::released = 0;

TEST_F(ImageRecord, BackendObjectsLiveWithTheImageAcrossMovesAndGoWithIt) {
	run("kept: make image! [2x2 1.2.3] dropped: make image! 3x3");
	int token = 0;
	image_record::attach_platform(run("kept").data2, &token);
	image_record::attach_platform(run("dropped").data2, &token);
	run("dropped: none");
	collector::stress = true;  // every buffer moves
	collector::run();
	EXPECT_EQ(released, 1) << "the unreachable image's object is released";
	Node kept = run("kept").data2;
	EXPECT_EQ(image_record::platform_data(kept), &token);
	EXPECT_EQ(molded("kept", MoldOptions{}), "make image! [2x2 #{010203010203010203010203}]");
	// Attaching anew releases the old object; release() lets go at once.
	int other = 0;
	image_record::attach_platform(kept, &other);
	EXPECT_EQ(released, 2);
	image_record::release(kept);
	EXPECT_EQ(released, 3);
	EXPECT_EQ(image_record::platform_data(kept), nullptr);
	collector::run();
	EXPECT_EQ(released, 3);
}

TEST_F(ImageRecord, WritesMarkTheRecordModified) {
	Node n = run("i: make image! 2x1").data2;
	EXPECT_FALSE(image_record::header(n)->flags & image_record::MODIFIED);
	run("poke i 1 1.2.3");
	EXPECT_TRUE(image_record::header(run("i").data2)->flags & image_record::MODIFIED);
}

TEST_F(ImageRecord, ScalingFlippingAndCopyingFromMemory) {
	// 3x2: 1 2 3 / 4 5 6
	const uint32_t source[] = {1, 2, 3, 0xAAAA, 4, 5, 6, 0xBBBB};  // stride 16 bytes
	Node n = image_record::from_memory(3, 2, 16, source);
	EXPECT_EQ(pixels(n), (std::vector<uint32_t>{1, 2, 3, 4, 5, 6}));
	EXPECT_EQ(pixels(image_record::flip_vertical(n)), (std::vector<uint32_t>{4, 5, 6, 1, 2, 3}));
	struct Case {
		uint32_t w, h;
		std::vector<uint32_t> want;
	} cases[] = {
		{6, 2, {1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6}},
		{3, 1, {4, 5, 6}},  // the one row's centre falls on the second
		{1, 2, {2, 5}},
		{2, 4, {1, 3, 1, 3, 4, 6, 4, 6}},
		{0, 3, {}},
	};
	for (const Case& c : cases) {
		Node r = image_record::resize(n, c.w, c.h);
		EXPECT_EQ(image_record::width(r), c.w);
		EXPECT_EQ(image_record::height(r), c.h);
		EXPECT_EQ(pixels(r), c.want) << c.w << "x" << c.h;
	}
	EXPECT_EQ(pixels(image_record::copy_rect(n, 1, 0, 2, 2)), (std::vector<uint32_t>{2, 3, 5, 6}));
}

// Every prefix of a valid file, and the file with each byte in turn
// disturbed, decodes to an image or to nothing: never a read past the
// bytes given (the sanitizer build watches) nor a crash.
TEST_F(ImageRecord, DecodersSurviveEveryTruncationAndDisturbedByte) {
	std::vector<uint32_t> px(7 * 5);
	for (size_t i = 0; i < px.size(); i++) px[i] = uint32_t(i * 0x01030507u) | (i % 3 ? 0xFF000000u : 0x40000000u);
	for (int32_t f = 0; f < image_codec::FORMAT_COUNT; f++) {
		simple_io::Bytes bytes;
		ASSERT_TRUE(image_codec::encode(image_codec::Format(f), px.data(), 7, 5, bytes)) << f;
		std::vector<uint8_t> file(bytes.data(), bytes.data() + bytes.size());
		Node whole = image_codec::decode_any(file.data(), file.size());
		ASSERT_NE(whole, 0u) << f;
		EXPECT_EQ(image_record::width(whole), 7u);
		for (size_t n = 0; n < file.size(); n++) {
			std::vector<uint8_t> prefix(file.begin(), file.begin() + ptrdiff_t(n));
			image_codec::decode(image_codec::Format(f), prefix.data(), prefix.size());
		}
		for (size_t i = 0; i < file.size(); i++) {
			std::vector<uint8_t> disturbed = file;
			disturbed[i] ^= uint8_t(0x5A + i);
			image_codec::decode(image_codec::Format(f), disturbed.data(), disturbed.size());
		}
	}
}

TEST_F(ImageRecord, BytesWithoutASignatureAreNoImageAndCorruptOnesRaise) {
	const uint8_t text[] = "plain text, no image";
	Cell out;
	EXPECT_TRUE(cell::is(image::load_binary(&out, text, sizeof text), T_NONE));
	const uint8_t cut_png[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0};
	Cell error = caught([&] { image::load_binary(&out, cut_png, sizeof cut_png); });
	EXPECT_EQ(error::code_of(&error), int32_t(errors::id::access_bad_media.code()));
}

// More colours than a GIF palette holds: a median cut keeps each near.
TEST_F(ImageRecord, GifOfManyColoursComesBackClose) {
	std::vector<uint32_t> px(40 * 30);
	for (uint32_t i = 0; i < px.size(); i++) px[i] = 0xFF000000u | (i * 7 % 256) << 16 | (i * 3 % 256) << 8 | (i * 11 % 256);
	simple_io::Bytes bytes;
	ASSERT_TRUE(image_codec::encode(image_codec::GIF, px.data(), 40, 30, bytes));
	Node back = image_codec::decode(image_codec::GIF, bytes.data(), bytes.size());
	ASSERT_NE(back, 0u);
	int worst = 0;
	for (size_t i = 0; i < px.size(); i++)
		for (int shift : {0, 8, 16, 24})
			worst = std::max(worst, std::abs(int(px[i] >> shift & 0xFF) - int(image_record::pixels(back)[i] >> shift & 0xFF)));
	EXPECT_LE(worst, 32);
}

// The first frame is painted at its offset on the logical screen; a frame
// the screen does not hold is the image alone, so a few bytes never make a
// canvas the size of their offsets.
TEST_F(ImageRecord, GifFramesOnAndOffTheirScreen) {
	auto gif = [](uint16_t sw, uint16_t sh, uint16_t left, uint16_t top, uint16_t fw, uint16_t fh,
		std::vector<uint8_t> lzw) {
		std::vector<uint8_t> b = {'G', 'I', 'F', '8', '9', 'a'};
		auto put16 = [&](uint16_t v) {
			b.push_back(uint8_t(v));
			b.push_back(uint8_t(v >> 8));
		};
		put16(sw);
		put16(sh);
		b.insert(b.end(), {0x80, 0, 0, 0, 0, 0, 0xFF, 0, 0});  // two colours: black, red
		b.push_back(0x2C);
		for (uint16_t v : {left, top, fw, fh}) put16(v);
		b.insert(b.end(), {0, 2, uint8_t(lzw.size())});
		b.insert(b.end(), lzw.begin(), lzw.end());
		b.insert(b.end(), {0, 0x3B});
		return b;
	};
	const std::vector<uint8_t> red = {0x4C, 0x01};          // clear, 1, end
	const std::vector<uint8_t> red_black = {0x0C, 0x0A};    // clear, 1, 0, end
	const uint32_t R = image_record::OPAQUE | 0xFF0000u, K = image_record::OPAQUE, CLEAR = 0;
	struct Case {
		const char* what;
		std::vector<uint8_t> bytes;
		uint32_t w, h;
		std::vector<uint32_t> pixels;
	} cases[] = {
		{"frame inside its screen", gif(3, 2, 2, 1, 1, 1, red), 3, 2, {CLEAR, CLEAR, CLEAR, CLEAR, CLEAR, R}},
		{"frame far past its screen", gif(2, 2, 40000, 14000, 1, 1, red), 1, 1, {R}},
		{"screen of none", gif(0, 0, 0, 0, 2, 1, red_black), 2, 1, {R, K}},
		{"frame wider than its screen", gif(1, 1, 0, 0, 2, 1, red_black), 2, 1, {R, K}},
	};
	for (const Case& c : cases) {
		Node n = image_codec::decode(image_codec::GIF, c.bytes.data(), c.bytes.size());
		ASSERT_NE(n, 0u) << c.what;
		ASSERT_EQ(image_record::width(n), c.w) << c.what;
		ASSERT_EQ(image_record::height(n), c.h) << c.what;
		std::vector<uint32_t> got(image_record::pixels(n), image_record::pixels(n) + c.w * c.h);
		EXPECT_EQ(got, c.pixels) << c.what;
	}
	// Rows the data does not hold: refused.
	std::vector<uint8_t> cut = gif(2, 2, 18759, 14406, 24889, 3, {0x04});
	EXPECT_EQ(image_codec::decode(image_codec::GIF, cut.data(), cut.size()), 0u);
}

TEST_F(ImageRecord, BmpHeadersThatDoNotAddUpAreRefused) {
	auto bmp = [](uint32_t hsize, int32_t w, int32_t h, uint16_t bpp, uint32_t compression, size_t data) {
		std::vector<uint8_t> b(14 + 40 + data, 0);
		auto put32 = [&](size_t at, uint32_t v) {
			for (int i = 0; i < 4; i++) b[at + size_t(i)] = uint8_t(v >> (8 * i));
		};
		b[0] = 'B';
		b[1] = 'M';
		put32(10, 54);
		put32(14, hsize);
		put32(18, uint32_t(w));
		put32(22, uint32_t(h));
		b[26] = 1;
		b[28] = uint8_t(bpp);
		put32(30, compression);
		return b;
	};
	struct Case {
		const char* what;
		std::vector<uint8_t> file;
		bool decodes;
	} cases[] = {
		{"a plain 2x2 24-bit file", bmp(40, 2, 2, 24, 0, 16), true},
		{"rows missing", bmp(40, 2, 2, 24, 0, 10), false},
		{"header longer than the file", bmp(4000, 2, 2, 24, 0, 16), false},
		{"zero width", bmp(40, 0, 2, 24, 0, 16), false},
		{"negative width", bmp(40, -2, 2, 24, 0, 16), false},
		{"width past 65,535", bmp(40, 70000, 1, 24, 0, 16), false},
		{"height of the lowest integer", bmp(40, 1, INT32_MIN, 24, 0, 16), false},
		{"64 bits a pixel", bmp(40, 1, 1, 64, 0, 16), false},
		{"JPEG inside", bmp(40, 1, 1, 24, 4, 16), false},
		{"indexes with no palette room", bmp(40, 2, 1, 8, 0, 4), false},
		{"RLE8 on a 24-bit image", bmp(40, 2, 1, 24, 1, 16), false},
	};
	for (const Case& c : cases)
		EXPECT_EQ(image_codec::decode(image_codec::BMP, c.file.data(), c.file.size()) != 0, c.decodes) << c.what;
}

}  // namespace
}  // namespace vyn::test::objects
