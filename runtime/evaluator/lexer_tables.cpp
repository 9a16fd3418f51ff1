#include "runtime/evaluator/lexer_tables.h"

#include <array>
#include <initializer_list>

namespace vyn::lexer {

namespace {

constexpr std::array<uint32_t, 256> build_classes() {
	std::array<uint32_t, 256> t{};
	for (int b = 0; b < 256; b++) t[size_t(b)] = CL_WORD;
	auto put = [&t](int b, ByteClass k, uint32_t flag = 0) { t[size_t(b)] = k | flag; };
	for (int b = 0x01; b <= 0x1F; b++) put(b, CL_CONTROL);
	put(0, CL_END, FL_END);
	put('\t', CL_BLANK);
	put('\r', CL_BLANK);
	put(' ', CL_BLANK);
	put('\n', CL_LF);
	for (int b = '1'; b <= '9'; b++) put(b, CL_DIGIT);
	put('0', CL_ZERO);
	put('[', CL_BLOCK_OPEN);
	put(']', CL_BLOCK_CLOSE);
	put('(', CL_PAREN_OPEN);
	put(')', CL_PAREN_CLOSE);
	put('{', CL_BRACE_OPEN);
	put('}', CL_BRACE_CLOSE);
	put('"', CL_DQUOTE);
	put('#', CL_HASH, FL_HASH);
	put('\'', CL_QUOTE, FL_QUOTE);
	put(':', CL_COLON, FL_COLON);
	put('x', CL_X);
	put('X', CL_X);
	put('T', CL_T);
	put('h', CL_H);
	put('e', CL_E_LOWER, FL_EXPONENT);
	put('E', CL_E_UPPER, FL_EXPONENT);
	for (int b : {'a', 'b', 'c', 'd', 'f'}) put(b, CL_HEX_LOWER);
	for (int b : {'A', 'B', 'C', 'D', 'F'}) put(b, CL_HEX_UPPER);
	put('/', CL_SLASH);
	put('\\', CL_BACKSLASH);
	put('<', CL_LESS, FL_LESS);
	put('>', CL_GREATER, FL_GREATER);
	put('=', CL_EQUAL);
	put('%', CL_PERCENT, FL_PERCENT);
	put(',', CL_COMMA, FL_COMMA);
	put(';', CL_SEMICOLON);
	put('@', CL_AT);
	put('.', CL_DOT, FL_DOT);
	put('$', CL_DOLLAR);
	put('+', CL_PLUS, FL_SIGN);
	put('-', CL_MINUS, FL_SIGN);
	put('^', CL_CARET, FL_CARET);
	for (int b = 0x7F; b <= 0xBF; b++) put(b, CL_FOLLOWER);
	for (int b = 0xC2; b <= 0xEF; b++) put(b, CL_WORD, FL_UTF8_2);
	for (int b = 0xF0; b <= 0xF7; b++) put(b, CL_WORD, FL_UTF8_4);
	for (int b : {0xC0, 0xC1}) put(b, CL_INVALID);
	for (int b = 0xF8; b <= 0xFF; b++) put(b, CL_INVALID);
	for (int b = 0x80; b <= 0xFF; b++) t[size_t(b)] |= FL_NON_ASCII;
	return t;
}

constexpr uint8_t F(Token k) { return uint8_t(FINAL_BASE + k); }
constexpr uint8_t ERR = F(TK_ERROR);

using Classes = std::initializer_list<ByteClass>;

// Bytes that end any token outside strings.
constexpr Classes DELIMITERS = {CL_BLANK, CL_LF, CL_CONTROL, CL_BLOCK_OPEN, CL_BLOCK_CLOSE,
	CL_PAREN_OPEN, CL_PAREN_CLOSE, CL_BRACE_OPEN, CL_BRACE_CLOSE, CL_DQUOTE, CL_SEMICOLON, CL_END};
constexpr Classes DIGITS = {CL_DIGIT, CL_ZERO};
constexpr Classes SIGNS = {CL_PLUS, CL_MINUS};
constexpr Classes HEX_UPPER = {CL_HEX_UPPER, CL_E_UPPER};
// Bytes that continue a word (besides those with a transition of their own).
constexpr Classes WORD_BYTES = {CL_DIGIT, CL_ZERO, CL_HASH, CL_QUOTE, CL_X, CL_T, CL_H,
	CL_E_LOWER, CL_E_UPPER, CL_HEX_LOWER, CL_HEX_UPPER, CL_GREATER, CL_EQUAL, CL_PERCENT,
	CL_DOT, CL_PLUS, CL_MINUS, CL_CARET, CL_FOLLOWER, CL_WORD};

struct Builder {
	std::array<uint8_t, WORKING_STATES * CLASS_COUNT> t{};

	constexpr void fill(State s, uint8_t to) {
		for (int k = 0; k < CLASS_COUNT; k++) t[size_t(s * CLASS_COUNT + k)] = to;
	}
	constexpr void on(State s, Classes ks, uint8_t to) {
		for (ByteClass k : ks) t[size_t(s * CLASS_COUNT + k)] = to;
	}
	constexpr void on(State s, ByteClass k, uint8_t to) { t[size_t(s * CLASS_COUNT + k)] = to; }

	// A word body: word bytes stay, ":" makes a set-word or url, "/" a path.
	constexpr void word_row(State s, State stay, Token done) {
		fill(s, ERR);
		on(s, WORD_BYTES, stay);
		on(s, DELIMITERS, F(done));
		on(s, {CL_COMMA, CL_LESS}, F(done));
		on(s, CL_COLON, ST_SET_WORD);
		on(s, CL_SLASH, F(TK_PATH));
		on(s, CL_AT, ST_EMAIL);
		on(s, CL_DOLLAR, ST_MONEY);
	}
	// A body read up to a delimiter; invalid bytes are errors.
	constexpr void body_row(State s, Token done) {
		fill(s, s);
		on(s, DELIMITERS, F(done));
		on(s, CL_INVALID, ERR);
	}
	// A body that only a delimiter may end; anything else is an error.
	constexpr void end_row(State s, Token done) {
		fill(s, ERR);
		on(s, DELIMITERS, F(done));
		on(s, CL_COMMA, F(done));
	}
};

constexpr std::array<uint8_t, WORKING_STATES * CLASS_COUNT> build_transitions() {
	Builder b;

	// Between tokens.
	b.fill(ST_START, ST_WORD);
	b.on(ST_START, {CL_BLANK, CL_LF, CL_CONTROL}, ST_START);
	b.on(ST_START, DIGITS, ST_INTEGER);
	b.on(ST_START, CL_BLOCK_OPEN, F(TK_BLOCK_OPEN));
	b.on(ST_START, CL_BLOCK_CLOSE, F(TK_BLOCK_CLOSE));
	b.on(ST_START, CL_PAREN_OPEN, F(TK_PAREN_OPEN));
	b.on(ST_START, CL_PAREN_CLOSE, F(TK_PAREN_CLOSE));
	b.on(ST_START, CL_BRACE_OPEN, F(TK_BRACE_OPEN));
	b.on(ST_START, CL_COMMA, F(TK_COMMA));
	b.on(ST_START, {CL_BRACE_CLOSE, CL_BACKSLASH, CL_FOLLOWER, CL_INVALID}, ERR);
	b.on(ST_START, CL_DQUOTE, ST_STRING);
	b.on(ST_START, CL_HASH, ST_HASH);
	b.on(ST_START, CL_QUOTE, ST_LIT);
	b.on(ST_START, CL_COLON, ST_GET);
	b.on(ST_START, HEX_UPPER, ST_HEX_WORD);
	b.on(ST_START, CL_SLASH, ST_SLASH);
	b.on(ST_START, CL_LESS, ST_TAG_START);
	b.on(ST_START, CL_PERCENT, ST_FILE_START);
	b.on(ST_START, CL_SEMICOLON, ST_COMMENT);
	b.on(ST_START, CL_AT, ST_REF);
	b.on(ST_START, CL_DOT, ST_DOT);
	b.on(ST_START, CL_DOLLAR, ST_MONEY);
	b.on(ST_START, SIGNS, ST_SIGN);
	b.on(ST_START, CL_END, F(TK_END));

	b.fill(ST_COMMENT, ST_COMMENT);
	b.on(ST_COMMENT, {CL_LF, CL_END}, F(TK_COMMENT));

	b.fill(ST_STRING, ST_STRING);
	b.on(ST_STRING, CL_DQUOTE, F(TK_STRING));
	b.on(ST_STRING, CL_CARET, ST_STRING_ESCAPE);
	b.on(ST_STRING, {CL_LF, CL_END}, ERR);
	b.fill(ST_STRING_ESCAPE, ST_STRING);
	b.on(ST_STRING_ESCAPE, {CL_LF, CL_END}, ERR);

	b.fill(ST_BRACED, ST_BRACED);
	b.on(ST_BRACED, CL_BRACE_OPEN, F(TK_BRACE_OPEN));
	b.on(ST_BRACED, CL_BRACE_CLOSE, F(TK_BRACE_CLOSE));
	b.on(ST_BRACED, CL_CARET, ST_BRACED_ESCAPE);
	b.on(ST_BRACED, CL_END, ERR);
	b.fill(ST_BRACED_ESCAPE, ST_BRACED);
	b.on(ST_BRACED_ESCAPE, CL_END, ERR);

	// "%": a file, a quoted file, a raw string, or the word "%".
	b.body_row(ST_FILE_START, TK_WORD);
	b.on(ST_FILE_START, WORD_BYTES, ST_FILE);
	b.on(ST_FILE_START, {CL_COLON, CL_SLASH, CL_AT, CL_DOLLAR, CL_BACKSLASH, CL_LESS, CL_COMMA}, ST_FILE);
	b.on(ST_FILE_START, CL_DQUOTE, ST_FILE_QUOTED);
	b.on(ST_FILE_START, CL_PERCENT, ST_FILE_PERCENTS);
	b.on(ST_FILE_START, CL_BRACE_OPEN, ST_RAW);
	b.body_row(ST_FILE, TK_FILE);
	b.fill(ST_FILE_QUOTED, ST_FILE_QUOTED);
	b.on(ST_FILE_QUOTED, CL_DQUOTE, F(TK_FILE));
	b.on(ST_FILE_QUOTED, {CL_LF, CL_END}, ERR);
	b.fill(ST_FILE_PERCENTS, ST_FILE);
	b.on(ST_FILE_PERCENTS, CL_PERCENT, ST_FILE_PERCENTS);
	b.on(ST_FILE_PERCENTS, DELIMITERS, F(TK_FILE));
	b.on(ST_FILE_PERCENTS, CL_BRACE_OPEN, ST_RAW);
	b.on(ST_FILE_PERCENTS, CL_INVALID, ERR);

	// Raw string: ends after "}" and its run of "%"; the loader checks the run.
	b.fill(ST_RAW, ST_RAW);
	b.on(ST_RAW, CL_BRACE_CLOSE, ST_RAW_CLOSE);
	b.on(ST_RAW, CL_END, ERR);
	b.fill(ST_RAW_CLOSE, ST_RAW);
	b.on(ST_RAW_CLOSE, CL_BRACE_CLOSE, ST_RAW_CLOSE);
	b.on(ST_RAW_CLOSE, CL_PERCENT, ST_RAW_PERCENTS);
	b.on(ST_RAW_CLOSE, CL_END, ERR);
	b.fill(ST_RAW_PERCENTS, F(TK_RAW_STRING));
	b.on(ST_RAW_PERCENTS, CL_PERCENT, ST_RAW_PERCENTS);

	// "/": the word "/", "//", a refinement, or "/:".
	b.end_row(ST_SLASH, TK_WORD);
	b.on(ST_SLASH, WORD_BYTES, ST_REFINEMENT);
	b.on(ST_SLASH, {CL_LESS, CL_AT, CL_DOLLAR}, ST_REFINEMENT);
	b.on(ST_SLASH, CL_SLASH, ST_SLASH_SLASH);
	b.on(ST_SLASH, CL_COLON, ST_SLASH_WORD);
	b.end_row(ST_REFINEMENT, TK_REFINEMENT);
	b.on(ST_REFINEMENT, WORD_BYTES, ST_REFINEMENT);
	b.on(ST_REFINEMENT, {CL_COLON, CL_LESS, CL_AT, CL_DOLLAR}, ST_REFINEMENT);
	b.on(ST_REFINEMENT, CL_SLASH, F(TK_REFINEMENT));
	b.end_row(ST_SLASH_SLASH, TK_WORD);
	b.end_row(ST_SLASH_WORD, TK_REFINEMENT);

	// "#": map, construction, binary, char or issue.
	b.body_row(ST_HASH, TK_ISSUE);
	b.on(ST_HASH, CL_BLOCK_OPEN, F(TK_MAP_OPEN));
	b.on(ST_HASH, CL_PAREN_OPEN, ST_CONSTRUCT);
	b.on(ST_HASH, CL_BRACE_OPEN, ST_BINARY);
	b.on(ST_HASH, CL_DQUOTE, ST_CHAR);
	b.on(ST_HASH, {CL_DIGIT, CL_ZERO, CL_WORD, CL_X, CL_T, CL_H, CL_E_LOWER, CL_E_UPPER, CL_HEX_LOWER,
		CL_HEX_UPPER}, ST_ISSUE);
	for (int k = 0; k < CLASS_COUNT; k++)
		if (b.t[size_t(ST_HASH * CLASS_COUNT + k)] == ST_HASH) b.t[size_t(ST_HASH * CLASS_COUNT + k)] = ST_ISSUE;
	b.fill(ST_BINARY, ST_BINARY);
	b.on(ST_BINARY, CL_BRACE_CLOSE, F(TK_BINARY));
	b.on(ST_BINARY, CL_SEMICOLON, ST_BINARY_COMMENT);
	b.on(ST_BINARY, CL_END, ERR);
	b.fill(ST_BINARY_COMMENT, ST_BINARY_COMMENT);
	b.on(ST_BINARY_COMMENT, CL_LF, ST_BINARY);
	b.on(ST_BINARY_COMMENT, CL_END, ERR);
	b.fill(ST_CHAR, ST_CHAR);
	b.on(ST_CHAR, CL_DQUOTE, F(TK_CHAR));
	b.on(ST_CHAR, CL_CARET, ST_CHAR_ESCAPE);
	b.on(ST_CHAR, {CL_LF, CL_END}, ERR);
	b.fill(ST_CHAR_ESCAPE, ST_CHAR);
	b.on(ST_CHAR_ESCAPE, {CL_LF, CL_END}, ERR);
	b.fill(ST_CONSTRUCT, ST_CONSTRUCT);
	b.on(ST_CONSTRUCT, CL_PAREN_CLOSE, F(TK_CONSTRUCT));
	b.on(ST_CONSTRUCT, {CL_LF, CL_END}, ERR);
	b.body_row(ST_ISSUE, TK_ISSUE);

	// Numbers.
	b.fill(ST_INTEGER, ERR);
	b.on(ST_INTEGER, DIGITS, ST_INTEGER);
	b.on(ST_INTEGER, CL_QUOTE, ST_INTEGER);
	b.on(ST_INTEGER, DELIMITERS, F(TK_INTEGER));
	b.on(ST_INTEGER, {CL_COMMA, CL_LESS}, F(TK_INTEGER));
	b.on(ST_INTEGER, CL_DOT, ST_INTEGER_DOT);
	b.on(ST_INTEGER, CL_X, ST_PAIR_X);
	b.on(ST_INTEGER, CL_COLON, ST_TIME_COLON);
	b.on(ST_INTEGER, {CL_SLASH, CL_MINUS, CL_T}, ST_DATE);
	b.on(ST_INTEGER, CL_PERCENT, ST_PERCENT);
	b.on(ST_INTEGER, CL_E_LOWER, ST_EXPONENT);
	b.on(ST_INTEGER, CL_E_UPPER, ST_DIGITS_E);
	b.on(ST_INTEGER, CL_HEX_UPPER, ST_HEX_DIGITS);
	b.on(ST_INTEGER, CL_H, ST_HEX_DIGITS_H);
	b.on(ST_INTEGER, CL_HASH, ST_HASH);
	b.on(ST_INTEGER, CL_AT, ST_EMAIL);

	b.end_row(ST_INTEGER_DOT, TK_FLOAT);  // "1."
	b.on(ST_INTEGER_DOT, DIGITS, ST_FRACTION);
	b.on(ST_INTEGER_DOT, CL_HASH, ST_SPECIAL);
	b.on(ST_INTEGER_DOT, {CL_E_LOWER, CL_E_UPPER}, ST_EXPONENT);
	b.on(ST_INTEGER_DOT, CL_PERCENT, ST_PERCENT);
	b.on(ST_INTEGER_DOT, CL_DOT, ST_TUPLE);  // "1..2", refused by the tuple loader

	b.end_row(ST_FRACTION, TK_FLOAT);
	b.on(ST_FRACTION, DIGITS, ST_FRACTION);
	b.on(ST_FRACTION, CL_QUOTE, ST_FRACTION);
	b.on(ST_FRACTION, CL_DOT, ST_TUPLE);
	b.on(ST_FRACTION, {CL_E_LOWER, CL_E_UPPER}, ST_EXPONENT);
	b.on(ST_FRACTION, CL_PERCENT, ST_PERCENT);
	b.on(ST_FRACTION, CL_X, ST_PAIR_X);  // "1.5x2", refused by the pair loader
	b.on(ST_FRACTION, CL_LESS, F(TK_FLOAT));

	b.fill(ST_EXPONENT, ERR);
	b.on(ST_EXPONENT, SIGNS, ST_EXPONENT_SIGN);
	b.on(ST_EXPONENT, DIGITS, ST_EXPONENT_DIGITS);
	b.fill(ST_EXPONENT_SIGN, ERR);
	b.on(ST_EXPONENT_SIGN, DIGITS, ST_EXPONENT_DIGITS);
	b.end_row(ST_EXPONENT_DIGITS, TK_FLOAT);
	b.on(ST_EXPONENT_DIGITS, DIGITS, ST_EXPONENT_DIGITS);
	b.on(ST_EXPONENT_DIGITS, CL_PERCENT, ST_PERCENT);
	b.on(ST_EXPONENT_DIGITS, CL_LESS, F(TK_FLOAT));

	// Digits then "E": an exponent, or hexadecimal digits to come.
	b.fill(ST_DIGITS_E, ERR);
	b.on(ST_DIGITS_E, SIGNS, ST_EXPONENT_SIGN);
	b.on(ST_DIGITS_E, DIGITS, ST_DIGITS_E_DIGITS);
	b.on(ST_DIGITS_E, HEX_UPPER, ST_HEX_DIGITS);
	b.on(ST_DIGITS_E, CL_H, ST_HEX_DIGITS_H);
	b.end_row(ST_DIGITS_E_DIGITS, TK_FLOAT);
	b.on(ST_DIGITS_E_DIGITS, DIGITS, ST_DIGITS_E_DIGITS);
	b.on(ST_DIGITS_E_DIGITS, HEX_UPPER, ST_HEX_DIGITS);
	b.on(ST_DIGITS_E_DIGITS, CL_H, ST_HEX_DIGITS_H);
	b.on(ST_DIGITS_E_DIGITS, CL_PERCENT, ST_PERCENT);
	b.on(ST_DIGITS_E_DIGITS, CL_LESS, F(TK_FLOAT));

	b.end_row(ST_PERCENT, TK_PERCENT);
	b.on(ST_PERCENT, CL_LESS, F(TK_PERCENT));

	b.end_row(ST_SPECIAL, TK_SPECIAL_FLOAT);
	b.on(ST_SPECIAL, {CL_WORD, CL_HEX_LOWER, CL_HEX_UPPER, CL_E_LOWER, CL_E_UPPER, CL_X, CL_T, CL_H}, ST_SPECIAL);

	b.end_row(ST_TUPLE, TK_TUPLE);
	b.on(ST_TUPLE, DIGITS, ST_TUPLE);
	b.on(ST_TUPLE, CL_DOT, ST_TUPLE);
	b.on(ST_TUPLE, CL_LESS, F(TK_TUPLE));

	b.body_row(ST_DATE, TK_DATE);
	b.on(ST_DATE, CL_COMMA, F(TK_DATE));

	b.fill(ST_TIME_COLON, ERR);
	b.on(ST_TIME_COLON, DIGITS, ST_TIME);
	b.end_row(ST_TIME, TK_TIME);
	b.on(ST_TIME, DIGITS, ST_TIME);
	b.on(ST_TIME, {CL_COLON, CL_DOT, CL_QUOTE, CL_E_LOWER, CL_E_UPPER}, ST_TIME);
	b.on(ST_TIME, CL_COMMA, ST_TIME);
	b.on(ST_TIME, CL_LESS, F(TK_TIME));

	b.fill(ST_PAIR_X, ERR);
	b.on(ST_PAIR_X, DIGITS, ST_PAIR_Y);
	b.on(ST_PAIR_X, SIGNS, ST_PAIR_Y);
	b.end_row(ST_PAIR_Y, TK_PAIR);
	b.on(ST_PAIR_Y, DIGITS, ST_PAIR_Y);
	b.on(ST_PAIR_Y, {CL_QUOTE, CL_DOT}, ST_PAIR_Y);
	b.on(ST_PAIR_Y, CL_LESS, F(TK_PAIR));

	// Point body after "(": everything up to ")"; the loader checks it.
	b.fill(ST_POINT, ST_POINT);
	b.on(ST_POINT, {CL_PAREN_CLOSE, CL_END}, F(TK_POINT));

	b.fill(ST_MONEY, ERR);
	b.on(ST_MONEY, DIGITS, ST_MONEY_DIGITS);
	b.end_row(ST_MONEY_DIGITS, TK_MONEY);
	b.on(ST_MONEY_DIGITS, DIGITS, ST_MONEY_DIGITS);
	b.on(ST_MONEY_DIGITS, CL_QUOTE, ST_MONEY_DIGITS);
	b.on(ST_MONEY_DIGITS, CL_DOT, ST_MONEY_FRACTION);
	b.on(ST_MONEY_DIGITS, CL_LESS, F(TK_MONEY));
	b.end_row(ST_MONEY_FRACTION, TK_MONEY);
	b.on(ST_MONEY_FRACTION, DIGITS, ST_MONEY_FRACTION);
	b.on(ST_MONEY_FRACTION, CL_LESS, F(TK_MONEY));

	// Hexadecimal: upper-case digits ending in "h". From a letter, a word
	// whenever the form breaks; from a decimal digit, an error.
	b.word_row(ST_HEX_WORD, ST_WORD, TK_WORD);
	b.on(ST_HEX_WORD, DIGITS, ST_HEX_WORD);
	b.on(ST_HEX_WORD, HEX_UPPER, ST_HEX_WORD);
	b.on(ST_HEX_WORD, CL_H, ST_HEX_WORD_H);
	b.word_row(ST_HEX_WORD_H, ST_WORD, TK_HEX);
	b.fill(ST_HEX_DIGITS, ERR);
	b.on(ST_HEX_DIGITS, DIGITS, ST_HEX_DIGITS);
	b.on(ST_HEX_DIGITS, HEX_UPPER, ST_HEX_DIGITS);
	b.on(ST_HEX_DIGITS, CL_H, ST_HEX_DIGITS_H);
	b.end_row(ST_HEX_DIGITS_H, TK_HEX);
	b.on(ST_HEX_DIGITS_H, CL_LESS, F(TK_HEX));

	// "<": a tag, or the words "<", "<=", "<>", "<<".
	b.fill(ST_TAG_START, ST_TAG);
	b.on(ST_TAG_START, DELIMITERS, F(TK_WORD));
	b.on(ST_TAG_START, {CL_EQUAL, CL_GREATER, CL_LESS}, ST_WORD);
	b.on(ST_TAG_START, CL_INVALID, ERR);
	b.fill(ST_TAG, ST_TAG);
	b.on(ST_TAG, CL_GREATER, F(TK_TAG));
	b.on(ST_TAG, CL_DQUOTE, ST_TAG_DQUOTE);
	b.on(ST_TAG, CL_QUOTE, ST_TAG_QUOTE);
	b.on(ST_TAG, {CL_END, CL_INVALID}, ERR);
	b.fill(ST_TAG_DQUOTE, ST_TAG_DQUOTE);
	b.on(ST_TAG_DQUOTE, CL_DQUOTE, ST_TAG);
	b.on(ST_TAG_DQUOTE, CL_END, ERR);
	b.fill(ST_TAG_QUOTE, ST_TAG_QUOTE);
	b.on(ST_TAG_QUOTE, CL_QUOTE, ST_TAG);
	b.on(ST_TAG_QUOTE, CL_END, ERR);

	// A sign or "." first: a number, or a word.
	b.word_row(ST_SIGN, ST_WORD, TK_WORD);
	b.on(ST_SIGN, DIGITS, ST_INTEGER);
	b.on(ST_SIGN, CL_DOT, ST_SIGN_DOT);
	b.on(ST_SIGN, CL_DOLLAR, ST_MONEY);
	b.word_row(ST_SIGN_DOT, ST_WORD, TK_WORD);
	b.on(ST_SIGN_DOT, DIGITS, ST_FRACTION);
	b.word_row(ST_DOT, ST_WORD, TK_WORD);
	b.on(ST_DOT, DIGITS, ST_FRACTION);

	b.word_row(ST_WORD, ST_WORD, TK_WORD);
	b.end_row(ST_SET_WORD, TK_WORD);
	b.on(ST_SET_WORD, {CL_COMMA, CL_LESS}, F(TK_WORD));
	for (int k = 0; k < CLASS_COUNT; k++) {
		uint8_t& to = b.t[size_t(ST_SET_WORD * CLASS_COUNT + k)];
		if (to == ERR && k != CL_COLON && k != CL_INVALID) to = ST_URL;
	}
	b.body_row(ST_URL, TK_URL);
	b.body_row(ST_EMAIL, TK_EMAIL);
	b.on(ST_EMAIL, {CL_COMMA, CL_LESS}, F(TK_EMAIL));
	b.on(ST_EMAIL, CL_AT, ERR);
	b.body_row(ST_REF, TK_REF);
	b.on(ST_REF, CL_COMMA, F(TK_REF));

	// ":" and "'" prefixes; the word scanner checks where colons sit.
	b.word_row(ST_PREFIXED_WORD, ST_PREFIXED_WORD, TK_WORD);
	b.on(ST_PREFIXED_WORD, CL_COLON, ST_PREFIXED_WORD);
	b.on(ST_PREFIXED_WORD, {CL_AT, CL_DOLLAR}, ERR);
	b.fill(ST_GET, ERR);
	b.on(ST_GET, WORD_BYTES, ST_PREFIXED_WORD);
	b.on(ST_GET, {CL_DIGIT, CL_ZERO, CL_QUOTE}, ERR);
	b.on(ST_GET, CL_SLASH, ST_SLASH_WORD);
	b.on(ST_GET, CL_LESS, ST_PREFIXED_WORD);
	b.fill(ST_LIT, ERR);
	b.on(ST_LIT, WORD_BYTES, ST_PREFIXED_WORD);
	b.on(ST_LIT, {CL_DIGIT, CL_ZERO, CL_QUOTE}, ERR);
	b.on(ST_LIT, CL_SLASH, ST_SLASH_WORD);
	b.on(ST_LIT, CL_LESS, ST_PREFIXED_WORD);

	// Path segments, read after each "/".
	b.fill(ST_SEGMENT, ST_WORD);
	b.on(ST_SEGMENT, DELIMITERS, ERR);
	b.on(ST_SEGMENT, {CL_SLASH, CL_COMMA, CL_BACKSLASH, CL_FOLLOWER, CL_INVALID, CL_BRACE_CLOSE,
		CL_BLOCK_CLOSE, CL_PAREN_CLOSE, CL_BLOCK_OPEN, CL_BRACE_OPEN, CL_SEMICOLON}, ERR);
	b.on(ST_SEGMENT, CL_PAREN_OPEN, F(TK_PAREN_OPEN));
	b.on(ST_SEGMENT, DIGITS, ST_SEGMENT_INTEGER);
	b.on(ST_SEGMENT, CL_DQUOTE, ST_STRING);
	b.on(ST_SEGMENT, CL_HASH, ST_HASH);
	b.on(ST_SEGMENT, CL_QUOTE, ST_LIT);
	b.on(ST_SEGMENT, CL_COLON, ST_GET);
	b.on(ST_SEGMENT, HEX_UPPER, ST_HEX_WORD);
	b.on(ST_SEGMENT, CL_LESS, ST_TAG_START);
	b.on(ST_SEGMENT, CL_PERCENT, ST_FILE_START);
	b.on(ST_SEGMENT, CL_AT, ERR);
	b.end_row(ST_SEGMENT_INTEGER, TK_INTEGER);
	b.on(ST_SEGMENT_INTEGER, DIGITS, ST_SEGMENT_INTEGER);
	b.on(ST_SEGMENT_INTEGER, {CL_SLASH, CL_COLON, CL_LESS}, F(TK_INTEGER));
	return b.t;
}

constexpr std::array<uint8_t, STATE_SLOTS> build_state_types() {
	std::array<uint8_t, STATE_SLOTS> t{};
	auto on = [&t](std::initializer_list<int> states, Type type) {
		for (int s : states) t[size_t(s)] = type;
	};
	on({ST_STRING, ST_STRING_ESCAPE, ST_BRACED, ST_BRACED_ESCAPE, ST_RAW, ST_RAW_CLOSE, ST_RAW_PERCENTS}, T_STRING);
	on({ST_FILE_START, ST_FILE, ST_FILE_QUOTED, ST_FILE_PERCENTS}, T_FILE);
	on({ST_SLASH, ST_SLASH_SLASH, ST_WORD, ST_HEX_WORD, ST_HEX_WORD_H, ST_SIGN, ST_SIGN_DOT, ST_DOT,
		ST_PREFIXED_WORD, ST_GET, ST_LIT, ST_TAG_START}, T_WORD);
	on({ST_REFINEMENT, ST_SLASH_WORD}, T_REFINEMENT);
	on({ST_HASH, ST_ISSUE}, T_ISSUE);
	on({ST_BINARY, ST_BINARY_COMMENT}, T_BINARY);
	on({ST_CHAR, ST_CHAR_ESCAPE}, T_CHAR);
	on({ST_INTEGER, ST_HEX_DIGITS, ST_HEX_DIGITS_H, ST_SEGMENT_INTEGER}, T_INTEGER);
	on({ST_INTEGER_DOT, ST_FRACTION, ST_EXPONENT, ST_EXPONENT_SIGN, ST_EXPONENT_DIGITS, ST_DIGITS_E,
		ST_DIGITS_E_DIGITS, ST_SPECIAL}, T_FLOAT);
	on({ST_PERCENT}, T_PERCENT);
	on({ST_TUPLE}, T_TUPLE);
	on({ST_DATE}, T_DATE);
	on({ST_TIME_COLON, ST_TIME}, T_TIME);
	on({ST_PAIR_X, ST_PAIR_Y}, T_PAIR);
	on({ST_POINT}, T_POINT2D);
	on({ST_MONEY, ST_MONEY_DIGITS, ST_MONEY_FRACTION}, T_MONEY);
	on({ST_TAG, ST_TAG_DQUOTE, ST_TAG_QUOTE}, T_TAG);
	on({ST_SET_WORD}, T_SET_WORD);
	on({ST_URL}, T_URL);
	on({ST_EMAIL}, T_EMAIL);
	on({ST_REF}, T_REF);
	on({ST_SEGMENT}, T_PATH);

	constexpr Type token_types[TOKEN_CLASSES] = {
		Type(0), T_ERROR, Type(0), Type(0), Type(0), Type(0), Type(0), T_STRING, Type(0), Type(0),
		Type(0), Type(0), Type(0), T_STRING, T_WORD, T_ISSUE, T_INTEGER, T_REFINEMENT, T_CHAR,
		T_FILE, T_BINARY, T_PERCENT, T_FLOAT, T_FLOAT, T_TUPLE, T_DATE, T_PAIR, T_POINT2D, T_TIME,
		T_MONEY, T_TAG, T_URL, T_EMAIL, T_INTEGER, T_STRING, T_REF,
	};
	for (int k = 0; k < TOKEN_CLASSES; k++) t[size_t(FINAL_BASE + k)] = token_types[k];
	return t;
}

constexpr std::array<uint8_t, CLASS_COUNT> build_path_end() {
	std::array<uint8_t, CLASS_COUNT> t{};
	for (ByteClass k : {CL_BLANK, CL_LF, CL_BLOCK_OPEN, CL_BLOCK_CLOSE, CL_PAREN_OPEN, CL_PAREN_CLOSE,
			 CL_BRACE_OPEN, CL_DQUOTE, CL_COLON, CL_LESS, CL_SEMICOLON, CL_WORD, CL_INVALID, CL_END})
		t[k] = 1;
	return t;
}

constexpr std::array<uint8_t, TOKEN_CLASSES> build_closes_on_byte() {
	std::array<uint8_t, TOKEN_CLASSES> t{};
	for (Token k : {TK_BLOCK_OPEN, TK_BLOCK_CLOSE, TK_PAREN_OPEN, TK_PAREN_CLOSE, TK_BRACE_OPEN,
			 TK_BRACE_CLOSE, TK_MAP_OPEN, TK_PATH, TK_CONSTRUCT, TK_COMMA, TK_STRING, TK_CHAR,
			 TK_BINARY, TK_TAG})
		t[k] = 1;
	return t;
}

constexpr auto class_table = build_classes();
constexpr auto transition_table = build_transitions();
constexpr auto type_table = build_state_types();
constexpr auto path_end_table = build_path_end();
constexpr auto closes_table = build_closes_on_byte();

constexpr std::array<uint16_t, WORKING_STATES * CLASS_COUNT> build_steps() {
	std::array<uint16_t, WORKING_STATES * CLASS_COUNT> t{};
	for (size_t i = 0; i < t.size(); i++) {
		uint32_t next = transition_table[i];
		t[i] = uint16_t(next >= uint32_t(FINAL_BASE) ? STEP_FINAL | next : next * CLASS_COUNT);
	}
	return t;
}

// Every working state must leave on the end of the input.
constexpr bool ends_everywhere() {
	for (int s = 0; s < WORKING_STATES; s++)
		if (transition_table[size_t(s * CLASS_COUNT + CL_END)] < FINAL_BASE) return false;
	return true;
}
static_assert(ends_everywhere(), "a working state does not stop at the end of the input");

}  // namespace

const std::array<uint32_t, 256> classes = class_table;
const std::array<uint8_t, WORKING_STATES * CLASS_COUNT> transitions = transition_table;
const std::array<uint16_t, WORKING_STATES * CLASS_COUNT> steps = build_steps();
const std::array<uint8_t, STATE_SLOTS> state_types = type_table;
const std::array<uint8_t, CLASS_COUNT> path_end = path_end_table;
const std::array<uint8_t, TOKEN_CLASSES> closes_on_byte = closes_table;

}  // namespace vyn::lexer
