// Start-up of the datatypes and the words the runtime names.
#pragma once

namespace vyn::types {

// Registers every datatype's action row, parents first; a type whose module
// is not part of the runtime gets its name alone (every action unsupported).
void register_all();

// Makes the symbol table, the global context, the type words and the
// predefined words.
void init_words();

}  // namespace vyn::types
