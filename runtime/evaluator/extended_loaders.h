// The loaders of pair, tuple, point and money literals, plugged into the lexer.
#pragma once

namespace vyn::lexer {

void install_extended_loaders();

}  // namespace vyn::lexer
