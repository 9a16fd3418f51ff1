// The inner loops of the text codecs written in the library (JSON, CSV):
// routines the codec objects take in and whose global words they unset.
#pragma once

namespace vyn::codec_routines {

// Defines them as global words (routines::define_all calls it).
void define_all();

}  // namespace vyn::codec_routines
