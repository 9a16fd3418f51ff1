// Loaded words through the real symbol table and global context.
#include "tests/unit/core_tables.h"

using namespace vyn;

namespace {

using LexerWords = test::CoreTables;

Cell loaded(const char* source) {
	Cell* block = lexer::load(reinterpret_cast<const uint8_t*>(source), uint32_t(std::strlen(source)));
	Cell out = *block;
	stack::pop(1);
	return out;
}

TEST_F(LexerWords, WordsShareSymbolsAndBindGlobally) {
	Cell b = loaded("alpha alpha: :alpha 'alpha Alpha /alpha #alpha");
	ASSERT_EQ(test::length_of(&b), 7u);
	Type types[] = {T_WORD, T_SET_WORD, T_GET_WORD, T_LIT_WORD, T_WORD, T_REFINEMENT, T_ISSUE};
	uint32_t alpha = symbol::make("alpha");
	for (uint32_t i = 0; i < 7; i++) {
		Cell* w = test::cell_at(&b, i);
		EXPECT_EQ(cell::type_of(w), types[i]) << i;
		EXPECT_EQ(symbol::resolve(w->data2), alpha) << i;
	}
	EXPECT_NE(test::cell_at(&b, 4)->data2, alpha);  // its own spelling, aliased
	EXPECT_EQ(symbol::name(test::cell_at(&b, 4)->data2), "Alpha");
	Node global = test::cell_at(&b, 0)->data1;
	EXPECT_NE(global, 0u);
	for (uint32_t i : {1u, 2u, 3u, 4u}) EXPECT_EQ(test::cell_at(&b, i)->data1, global) << i;
	EXPECT_EQ(test::cell_at(&b, 5)->data1, 0u);  // refinements stay unbound
	EXPECT_EQ(test::cell_at(&b, 6)->data3, 0xFFFFFFFFu);
}

TEST_F(LexerWords, PathsHoldWordsAndSetPathsEndInAWord) {
	Cell b = loaded("obj/field/2: x");
	Cell* path = test::cell_at(&b, 0);
	ASSERT_EQ(cell::type_of(path), T_SET_PATH);
	ASSERT_EQ(test::length_of(path), 3u);
	EXPECT_EQ(cell::type_of(test::cell_at(path, 0)), T_WORD);
	EXPECT_EQ(symbol::name(test::cell_at(path, 1)->data2), "field");
	EXPECT_EQ(cell::get_integer(test::cell_at(path, 2)), 2);
}

TEST_F(LexerWords, TheCallbackMaskReadsRealEventWords) {
	static Cell body;
	body = loaded("[[load]]");
	body = *test::cell_at(&body, 0);
	static int loads;
	loads = 0;
	lexer::callback_hooks.inspect = [](const Cell*, Cell* out, uint32_t* optional) {
		*out = body;
		*optional = 0;
		return true;
	};
	lexer::callback_hooks.call = [](const Cell*, const Cell* args, uint32_t) {
		EXPECT_EQ(symbol::name(args[0].data2), "load");
		loads++;
		return true;
	};
	Cell* callback = stack::alloc_slot();
	cell::set(callback, T_FUNCTION);
	lexer::Options o;
	o.callback = callback;
	Cell* result = stack::alloc_slot();
	lexer::scan(result, reinterpret_cast<const uint8_t*>("a [b] 1"), 7, o);
	lexer::callback_hooks = {nullptr, nullptr};
	EXPECT_EQ(loads, 3);
}

}  // namespace
