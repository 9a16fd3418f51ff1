// The image codecs' routines, which library/image-codecs.vyn puts into the
// png, jpeg, bmp, gif and tiff codec objects.
#pragma once

#include "runtime/io/image_codec.h"

namespace vyn::image_routines {

// encode [img [image!] where [any-type!]]: the image encoded in the
// format; when `where` is a file! or url! the bytes are written there and
// `where` is the answer, else the binary!.
template <image_codec::Format F>
void encode_routine();

// decode [data [any-type!]]: the image of a binary!, of a file!, or of the
// bytes read from a url!; any other value raises script invalid-data.
void decode_routine();

}  // namespace vyn::image_routines
