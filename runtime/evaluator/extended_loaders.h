// The loaders of pair, tuple, point, money and date literals, plugged into the lexer.
#pragma once

namespace vyn::lexer {

void install_extended_loaders();

}  // namespace vyn::lexer
