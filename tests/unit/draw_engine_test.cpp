#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdint>

#include "gui/draw/draw.h"
#include "gui/draw/image_surface.h"
#include "tests/unit/object_support.h"

namespace vyn::test::objects {
namespace {

TEST(DrawImageSurface, PremultipliedPixelsComeBackStraight) {
	const uint32_t straight[] = {0xFF102030u, 0x00FFFFFFu, 0x80FF8040u, 0x01FFFFFFu, 0xFE000000u};
	uint32_t pre[5], back[5];
	image_surface::premultiply(straight, pre, 5);
	EXPECT_EQ(pre[0], 0xFF102030u);  // opaque: as it is
	EXPECT_EQ(pre[1], 0u);           // clear: no colour left
	EXPECT_EQ(pre[2], 0x80804020u);
	image_surface::unpremultiply(pre, back, 5);
	EXPECT_EQ(back[0], straight[0]);
	EXPECT_EQ(back[1], 0u);
	for (int c = 0; c < 24; c += 8)
		EXPECT_NEAR(int((back[2] >> c) & 0xFF), int((straight[2] >> c) & 0xFF), 2) << c;
	EXPECT_EQ(back[3] >> 24, 1u);
	EXPECT_EQ(back[4], straight[4]);
}

// A backend's face paint on its own Cairo surface.
class FacePaints : public ObjectScript {
protected:
	void SetUp() override {
		ObjectScript::SetUp();
		surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 20, 20);
		cr = cairo_create(surface);
	}
	void TearDown() override {
		cairo_destroy(cr);
		cairo_surface_destroy(surface);
		ObjectScript::TearDown();
	}
	uint32_t pixel(int x, int y) {
		cairo_surface_flush(surface);
		auto* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
		return reinterpret_cast<uint32_t*>(row)[x];
	}
	cairo_surface_t* surface = nullptr;
	cairo_t* cr = nullptr;
};

TEST_F(FacePaints, BackgroundThenDrawFacet) {
	Cell face = run("make object! [type: 'base color: 255.0.0 size: 20x20 text: none image: none font: none "
					"draw: [pen off fill-pen 0.0.255 box 0x0 10x10]]");
	ASSERT_TRUE(cell::is(&face, T_OBJECT));
	draw::paint_face(cr, &face);
	EXPECT_EQ(pixel(15, 15), 0xFFFF0000u);
	EXPECT_EQ(pixel(5, 5), 0xFF0000FFu);
}

TEST_F(FacePaints, DrawFaceDrawsOnlyOnThatFacesOpenPaint) {
	Cell face = run("f: make object! [type: 'base color: none size: 20x20]");
	Cell other = run("make object! [type: 'base]");
	Cell block = run("[pen off fill-pen 0.255.0 box 0x0 20x20]");
	draw::draw_face(&face, &block);  // no paint open: nothing, no crash
	{
		draw::FacePaint paint(cr, &face);
		EXPECT_EQ(pixel(5, 5), 0u);  // no colour: cleared
		draw::draw_face(&other, &block);
		EXPECT_EQ(pixel(5, 5), 0u);
		draw::draw_face(&face, &block);
		EXPECT_EQ(pixel(5, 5), 0xFF00FF00u);
	}
	cairo_set_source_rgba(cr, 0, 0, 0, 0);
	cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
	cairo_paint(cr);
	draw::draw_face(&face, &block);  // the paint has ended
	EXPECT_EQ(pixel(5, 5), 0u);
}

}  // namespace
}  // namespace vyn::test::objects
