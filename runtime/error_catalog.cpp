#include "runtime/error_catalog.h"

namespace vyn::errors {
namespace {

constexpr TemplatePart throw_break[] = {{"no loop to break", 0}};
constexpr TemplatePart throw_return[] = {{"return or exit not in function", 0}};
constexpr TemplatePart throw_throw[] = {{"no catch for throw:", 0}, {nullptr, 1}};
constexpr TemplatePart throw_continue[] = {{"no loop to continue", 0}};
constexpr TemplatePart throw_while_cond[] = {{"BREAK/CONTINUE cannot be used in WHILE condition block", 0}};
constexpr IdEntry throw_ids[] = {
	{"break", throw_break, 1},
	{"return", throw_return, 1},
	{"throw", throw_throw, 2},
	{"continue", throw_continue, 1},
	{"while-cond", throw_while_cond, 1},
};
constexpr TemplatePart note_no_load[] = {{"cannot load: ", 0}, {nullptr, 1}};
constexpr IdEntry note_ids[] = {
	{"no-load", note_no_load, 2},
};
constexpr TemplatePart syntax_invalid[] = {{nullptr, 1}, {"invalid", 0}, {nullptr, 2}, {"at", 0}, {nullptr, 3}};
constexpr TemplatePart syntax_missing[] = {{nullptr, 1}, {"missing", 0}, {nullptr, 2}, {"at", 0}, {nullptr, 3}};
constexpr TemplatePart syntax_no_header[] = {{"script is missing a Vyn header:", 0}, {nullptr, 1}};
constexpr TemplatePart syntax_no_vs_header[] = {{"script is missing a Vyn/System header:", 0}, {nullptr, 1}};
constexpr TemplatePart syntax_bad_header[] = {{"script header is not valid:", 0}, {nullptr, 1}};
constexpr TemplatePart syntax_malconstruct[] = {{nullptr, 1}, {"invalid construction spec at", 0}, {nullptr, 2}};
constexpr TemplatePart syntax_bad_char[] = {{nullptr, 1}, {"invalid character at", 0}, {nullptr, 2}};
constexpr IdEntry syntax_ids[] = {
	{"invalid", syntax_invalid, 5},
	{"missing", syntax_missing, 5},
	{"no-header", syntax_no_header, 2},
	{"no-vs-header", syntax_no_vs_header, 2},
	{"bad-header", syntax_bad_header, 2},
	{"malconstruct", syntax_malconstruct, 3},
	{"bad-char", syntax_bad_char, 3},
};
constexpr TemplatePart script_no_value[] = {{nullptr, 1}, {"has no value", 0}};
constexpr TemplatePart script_need_value[] = {{nullptr, 1}, {"needs a value", 0}};
constexpr TemplatePart script_not_defined[] = {{nullptr, 1}, {"word is not bound to a context", 0}};
constexpr TemplatePart script_not_in_context[] = {{"context for", 0}, {nullptr, 1}, {"is not available", 0}};
constexpr TemplatePart script_no_arg[] = {{nullptr, 1}, {"is missing its", 0}, {nullptr, 2}, {"argument", 0}};
constexpr TemplatePart script_expect_arg[] = {{nullptr, 1}, {"does not allow", 0}, {nullptr, 2}, {"for its", 0}, {nullptr, 3}, {"argument", 0}};
constexpr TemplatePart script_expect_val[] = {{"expected", 0}, {nullptr, 1}, {"not", 0}, {nullptr, 2}};
constexpr TemplatePart script_expect_type[] = {{nullptr, 1}, {nullptr, 2}, {"field must be of type", 0}, {nullptr, 3}};
constexpr TemplatePart script_cannot_use[] = {{"cannot use", 0}, {nullptr, 1}, {"on", 0}, {nullptr, 2}, {"value", 0}};
constexpr TemplatePart script_invalid_arg[] = {{"invalid argument:", 0}, {nullptr, 1}};
constexpr TemplatePart script_invalid_type[] = {{nullptr, 1}, {"type is not allowed here", 0}};
constexpr TemplatePart script_invalid_type_spec[] = {{"invalid type specifier:", 0}, {nullptr, 1}};
constexpr TemplatePart script_invalid_key_type[] = {{"invalid key type:", 0}, {nullptr, 1}};
constexpr TemplatePart script_invalid_op[] = {{"invalid operator:", 0}, {nullptr, 1}};
constexpr TemplatePart script_no_op_arg[] = {{nullptr, 1}, {"operator is missing an argument", 0}};
constexpr TemplatePart script_bad_op_spec[] = {{"making an op! requires a function with only 2 arguments and no lit/get-word on left argument", 0}};
constexpr TemplatePart script_invalid_data[] = {{"data not in correct format:", 0}, {nullptr, 1}};
constexpr TemplatePart script_invalid_part[] = {{"invalid /part count:", 0}, {nullptr, 1}};
constexpr TemplatePart script_not_same_type[] = {{"values must be of the same type", 0}};
constexpr TemplatePart script_not_same_class[] = {{"cannot coerce", 0}, {nullptr, 1}, {"to", 0}, {nullptr, 2}};
constexpr TemplatePart script_not_related[] = {{"incompatible argument for", 0}, {nullptr, 1}, {"of", 0}, {nullptr, 2}};
constexpr TemplatePart script_bad_func_def[] = {{"invalid function definition:", 0}, {nullptr, 1}};
constexpr TemplatePart script_bad_func_arg[] = {{"function argument", 0}, {nullptr, 1}, {"is not valid", 0}};
constexpr TemplatePart script_bad_func_extern[] = {{"invalid /extern value:", 0}, {nullptr, 1}};
constexpr TemplatePart script_no_refine[] = {{nullptr, 1}, {"has no refinement called", 0}, {nullptr, 2}};
constexpr TemplatePart script_bad_refines[] = {{"incompatible or invalid refinements", 0}};
constexpr TemplatePart script_bad_refine[] = {{"invalid refinement value:", 0}, {nullptr, 1}};
constexpr TemplatePart script_dup_refine[] = {{"duplicate refinement usage in:", 0}, {nullptr, 1}};
constexpr TemplatePart script_word_first[] = {{"path must start with a word:", 0}, {nullptr, 1}};
constexpr TemplatePart script_empty_path[] = {{"cannot evaluate an empty path value", 0}};
constexpr TemplatePart script_unset_path[] = {{nullptr, 2}, {"is unset in path", 0}, {nullptr, 1}};
constexpr TemplatePart script_invalid_path[] = {{"cannot access", 0}, {nullptr, 2}, {"in path", 0}, {nullptr, 1}};
constexpr TemplatePart script_invalid_path_set[] = {{"unsupported type in", 0}, {nullptr, 1}, {"set-path", 0}};
constexpr TemplatePart script_invalid_path_get[] = {{"unsupported type in", 0}, {nullptr, 1}, {"get-path", 0}};
constexpr TemplatePart script_bad_path_type[] = {{nullptr, 3}, {"returned a", 0}, {nullptr, 2}, {"value, so", 0}, {nullptr, 1}, {"could not be accessed", 0}};
constexpr TemplatePart script_bad_path_type2[] = {{"path element >", 0}, {nullptr, 1}, {"< does not apply to", 0}, {nullptr, 2}, {"type", 0}};
constexpr TemplatePart script_bad_path_set[] = {{"cannot set", 0}, {nullptr, 2}, {"in path", 0}, {nullptr, 1}};
constexpr TemplatePart script_bad_field_set[] = {{"cannot set", 0}, {nullptr, 1}, {"field to", 0}, {nullptr, 2}, {"datatype", 0}};
constexpr TemplatePart script_dup_vars[] = {{"duplicate variable specified:", 0}, {nullptr, 1}};
constexpr TemplatePart script_past_end[] = {{"out of range or past end", 0}};
constexpr TemplatePart script_missing_arg[] = {{"missing a required argument or refinement", 0}};
constexpr TemplatePart script_out_of_range[] = {{"value out of range:", 0}, {nullptr, 1}};
constexpr TemplatePart script_invalid_chars[] = {{"contains invalid characters", 0}};
constexpr TemplatePart script_invalid_compare[] = {{"cannot compare", 0}, {nullptr, 1}, {"with", 0}, {nullptr, 2}};
constexpr TemplatePart script_wrong_type[] = {{"datatype assertion failed for:", 0}, {nullptr, 1}};
constexpr TemplatePart script_invalid_refine_arg[] = {{"invalid", 0}, {nullptr, 1}, {"argument:", 0}, {nullptr, 2}};
constexpr TemplatePart script_type_limit[] = {{nullptr, 1}, {"overflow/underflow", 0}};
constexpr TemplatePart script_size_limit[] = {{"maximum limit reached:", 0}, {nullptr, 1}};
constexpr TemplatePart script_no_return[] = {{"block did not return a value", 0}};
constexpr TemplatePart script_throw_usage[] = {{"invalid use of a thrown error value", 0}};
constexpr TemplatePart script_locked_word[] = {{"protected word - cannot modify:", 0}, {nullptr, 1}};
constexpr TemplatePart script_protected[] = {{"protected value or series - cannot modify", 0}};
constexpr TemplatePart script_bad_bad[] = {{nullptr, 1}, {"error:", 0}, {nullptr, 2}};
constexpr TemplatePart script_bad_make_arg[] = {{"cannot MAKE", 0}, {nullptr, 1}, {"from:", 0}, {nullptr, 2}};
constexpr TemplatePart script_bad_to_arg[] = {{"cannot MAKE/TO", 0}, {nullptr, 1}, {"from:", 0}, {nullptr, 2}};
constexpr TemplatePart script_invalid_months[] = {{"invalid system/locale/month list", 0}};
constexpr TemplatePart script_invalid_spec_field[] = {{"invalid", 0}, {nullptr, 1}, {"field in spec block", 0}};
constexpr TemplatePart script_missing_spec_field[] = {{nullptr, 1}, {"not found in spec block", 0}};
constexpr TemplatePart script_move_bad[] = {{"Cannot MOVE elements from", 0}, {nullptr, 1}, {"to", 0}, {nullptr, 2}};
constexpr TemplatePart script_too_long[] = {{"Content too long", 0}};
constexpr TemplatePart script_invalid_char[] = {{"Invalid char! value:", 0}, {nullptr, 1}};
constexpr TemplatePart script_bad_loop_series[] = {{"Loop series changed to invalid value:", 0}, {nullptr, 1}};
constexpr TemplatePart script_wrong_denom[] = {{nullptr, 1}, {"not same denomination as", 0}, {nullptr, 2}};
constexpr TemplatePart script_bad_denom[] = {{"invalid denomination:", 0}, {nullptr, 1}};
constexpr TemplatePart script_invalid_obj_evt[] = {{"invalid object event handler:", 0}, {nullptr, 1}};
constexpr TemplatePart script_parse_rule[] = {{"PARSE - invalid rule or usage of rule:", 0}, {nullptr, 1}};
constexpr TemplatePart script_parse_end[] = {{"PARSE - unexpected end of rule after:", 0}, {nullptr, 1}};
constexpr TemplatePart script_parse_invalid_ref[] = {{"PARSE - get-word refers to a different series!", 0}, {nullptr, 1}};
constexpr TemplatePart script_parse_block[] = {{"PARSE - input must be of any-block! type:", 0}, {nullptr, 1}};
constexpr TemplatePart script_parse_unsupported[] = {{"PARSE - matching by datatype not supported for any-string! input", 0}};
constexpr TemplatePart script_parse_infinite[] = {{"PARSE - infinite recursion at rule: [", 0}, {nullptr, 1}, {"]", 0}};
constexpr TemplatePart script_parse_stack[] = {{"PARSE - stack limit reached", 0}};
constexpr TemplatePart script_parse_keep[] = {{"PARSE - KEEP is used without a wrapping COLLECT", 0}};
constexpr TemplatePart script_parse_into_bad[] = {{"PARSE - COLLECT INTO/AFTER invalid series! argument", 0}};
constexpr TemplatePart script_parse_into_type[] = {{"PARSE - COLLECT INTO/AFTER expects a series! of compatible datatype", 0}};
constexpr TemplatePart script_draw_invalid[] = {{"DRAW - invalid input at:", 0}, {nullptr, 1}};
constexpr TemplatePart script_draw_infinite[] = {{"DRAW - infinite recursion at:", 0}, {nullptr, 1}};
constexpr TemplatePart script_invalid_data_facet[] = {{"invalid DATA facet content", 0}, {nullptr, 1}};
constexpr TemplatePart script_face_type[] = {{"VIEW - invalid face type:", 0}, {nullptr, 1}};
constexpr TemplatePart script_not_window[] = {{"VIEW - expected a window root face", 0}};
constexpr TemplatePart script_bad_window[] = {{"VIEW - a window face cannot be nested in another window", 0}};
constexpr TemplatePart script_not_linked[] = {{"VIEW - face not linked to a window", 0}};
constexpr TemplatePart script_not_event_type[] = {{"VIEW - not a valid event type", 0}, {nullptr, 1}};
constexpr TemplatePart script_invalid_facet_type[] = {{"VIEW - invalid rate value:", 0}, {nullptr, 1}};
constexpr TemplatePart script_vid_invalid_syntax[] = {{"VID - invalid syntax at:", 0}, {nullptr, 1}};
constexpr TemplatePart script_rtd_invalid_syntax[] = {{"RTD - invalid syntax at:", 0}, {nullptr, 1}};
constexpr TemplatePart script_rtd_no_match[] = {{"RTD - opening/closing tag not matching for:", 0}, {nullptr, 1}};
constexpr TemplatePart script_react_bad_func[] = {{"REACT - /LINK option requires a function! as argument", 0}};
constexpr TemplatePart script_react_not_enough[] = {{"REACT - reactive functions must accept at least 2 arguments", 0}};
constexpr TemplatePart script_react_no_match[] = {{"REACT - objects block length must match reaction function arg count", 0}};
constexpr TemplatePart script_react_bad_obj[] = {{"REACT - target can only contain object values", 0}};
constexpr TemplatePart script_react_gctx[] = {{"REACT - word", 0}, {nullptr, 1}, {"is not a reactor's field", 0}};
constexpr TemplatePart script_lib_invalid_arg[] = {{"LIBVYN - invalid argument for", 0}, {nullptr, 1}};
constexpr TemplatePart script_vb_invalid_record[] = {{"VYNBIN - invalid record at index", 0}, {nullptr, 1}};
constexpr IdEntry script_ids[] = {
	{"no-value", script_no_value, 2},
	{"need-value", script_need_value, 2},
	{"not-defined", script_not_defined, 2},
	{"not-in-context", script_not_in_context, 3},
	{"no-arg", script_no_arg, 4},
	{"expect-arg", script_expect_arg, 6},
	{"expect-val", script_expect_val, 4},
	{"expect-type", script_expect_type, 4},
	{"cannot-use", script_cannot_use, 5},
	{"invalid-arg", script_invalid_arg, 2},
	{"invalid-type", script_invalid_type, 2},
	{"invalid-type-spec", script_invalid_type_spec, 2},
	{"invalid-key-type", script_invalid_key_type, 2},
	{"invalid-op", script_invalid_op, 2},
	{"no-op-arg", script_no_op_arg, 2},
	{"bad-op-spec", script_bad_op_spec, 1},
	{"invalid-data", script_invalid_data, 2},
	{"invalid-part", script_invalid_part, 2},
	{"not-same-type", script_not_same_type, 1},
	{"not-same-class", script_not_same_class, 4},
	{"not-related", script_not_related, 4},
	{"bad-func-def", script_bad_func_def, 2},
	{"bad-func-arg", script_bad_func_arg, 3},
	{"bad-func-extern", script_bad_func_extern, 2},
	{"no-refine", script_no_refine, 3},
	{"bad-refines", script_bad_refines, 1},
	{"bad-refine", script_bad_refine, 2},
	{"dup-refine", script_dup_refine, 2},
	{"word-first", script_word_first, 2},
	{"empty-path", script_empty_path, 1},
	{"unset-path", script_unset_path, 3},
	{"invalid-path", script_invalid_path, 4},
	{"invalid-path-set", script_invalid_path_set, 3},
	{"invalid-path-get", script_invalid_path_get, 3},
	{"bad-path-type", script_bad_path_type, 6},
	{"bad-path-type2", script_bad_path_type2, 5},
	{"bad-path-set", script_bad_path_set, 4},
	{"bad-field-set", script_bad_field_set, 5},
	{"dup-vars", script_dup_vars, 2},
	{"past-end", script_past_end, 1},
	{"missing-arg", script_missing_arg, 1},
	{"out-of-range", script_out_of_range, 2},
	{"invalid-chars", script_invalid_chars, 1},
	{"invalid-compare", script_invalid_compare, 4},
	{"wrong-type", script_wrong_type, 2},
	{"invalid-refine-arg", script_invalid_refine_arg, 4},
	{"type-limit", script_type_limit, 2},
	{"size-limit", script_size_limit, 2},
	{"no-return", script_no_return, 1},
	{"throw-usage", script_throw_usage, 1},
	{"locked-word", script_locked_word, 2},
	{"protected", script_protected, 1},
	{"bad-bad", script_bad_bad, 3},
	{"bad-make-arg", script_bad_make_arg, 4},
	{"bad-to-arg", script_bad_to_arg, 4},
	{"invalid-months", script_invalid_months, 1},
	{"invalid-spec-field", script_invalid_spec_field, 3},
	{"missing-spec-field", script_missing_spec_field, 2},
	{"move-bad", script_move_bad, 4},
	{"too-long", script_too_long, 1},
	{"invalid-char", script_invalid_char, 2},
	{"bad-loop-series", script_bad_loop_series, 2},
	{"wrong-denom", script_wrong_denom, 3},
	{"bad-denom", script_bad_denom, 2},
	{"invalid-obj-evt", script_invalid_obj_evt, 2},
	{"parse-rule", script_parse_rule, 2},
	{"parse-end", script_parse_end, 2},
	{"parse-invalid-ref", script_parse_invalid_ref, 2},
	{"parse-block", script_parse_block, 2},
	{"parse-unsupported", script_parse_unsupported, 1},
	{"parse-infinite", script_parse_infinite, 3},
	{"parse-stack", script_parse_stack, 1},
	{"parse-keep", script_parse_keep, 1},
	{"parse-into-bad", script_parse_into_bad, 1},
	{"parse-into-type", script_parse_into_type, 1},
	{"draw-invalid", script_draw_invalid, 2},
	{"draw-infinite", script_draw_infinite, 2},
	{"invalid-data-facet", script_invalid_data_facet, 2},
	{"face-type", script_face_type, 2},
	{"not-window", script_not_window, 1},
	{"bad-window", script_bad_window, 1},
	{"not-linked", script_not_linked, 1},
	{"not-event-type", script_not_event_type, 2},
	{"invalid-facet-type", script_invalid_facet_type, 2},
	{"vid-invalid-syntax", script_vid_invalid_syntax, 2},
	{"rtd-invalid-syntax", script_rtd_invalid_syntax, 2},
	{"rtd-no-match", script_rtd_no_match, 2},
	{"react-bad-func", script_react_bad_func, 1},
	{"react-not-enough", script_react_not_enough, 1},
	{"react-no-match", script_react_no_match, 1},
	{"react-bad-obj", script_react_bad_obj, 1},
	{"react-gctx", script_react_gctx, 3},
	{"lib-invalid-arg", script_lib_invalid_arg, 2},
	{"vb-invalid-record", script_vb_invalid_record, 2},
};
constexpr TemplatePart math_zero_divide[] = {{"attempt to divide by zero", 0}};
constexpr TemplatePart math_overflow[] = {{"math or number overflow", 0}};
constexpr TemplatePart math_positive[] = {{"positive number required", 0}};
constexpr IdEntry math_ids[] = {
	{"zero-divide", math_zero_divide, 1},
	{"overflow", math_overflow, 1},
	{"positive", math_positive, 1},
};
constexpr TemplatePart access_cannot_open[] = {{"cannot open:", 0}, {nullptr, 1}};
constexpr TemplatePart access_cannot_close[] = {{"cannot close:", 0}, {nullptr, 1}};
constexpr TemplatePart access_invalid_utf8[] = {{"invalid UTF-8 encoding:", 0}, {nullptr, 1}};
constexpr TemplatePart access_not_open[] = {{"port is not open:", 0}, {nullptr, 1}};
constexpr TemplatePart access_no_connect[] = {{"cannot connect:", 0}, {nullptr, 1}, {"reason: timeout", 0}};
constexpr TemplatePart access_no_scheme[] = {{"missing port scheme:", 0}, {nullptr, 1}};
constexpr TemplatePart access_unknown_scheme[] = {{"scheme is unknown:", 0}, {nullptr, 1}};
constexpr TemplatePart access_invalid_spec[] = {{"invalid spec or options:", 0}, {nullptr, 1}};
constexpr TemplatePart access_invalid_port[] = {{"invalid port object (invalid field values)", 0}};
constexpr TemplatePart access_invalid_actor[] = {{"invalid port actor (must be handle or object)", 0}};
constexpr TemplatePart access_no_port_action[] = {{"port action not supported", 0}};
constexpr TemplatePart access_no_create[] = {{"cannot create:", 0}, {nullptr, 1}};
constexpr TemplatePart access_no_codec[] = {{"cannot decode or encode (no codec):", 0}, {nullptr, 1}};
constexpr TemplatePart access_bad_media[] = {{"bad media data (corrupt image, sound, video)", 0}};
constexpr TemplatePart access_invalid_cmd[] = {{"invalid port command:", 0}, {nullptr, 1}};
constexpr IdEntry access_ids[] = {
	{"cannot-open", access_cannot_open, 2},
	{"cannot-close", access_cannot_close, 2},
	{"invalid-utf8", access_invalid_utf8, 2},
	{"not-open", access_not_open, 2},
	{"no-connect", access_no_connect, 3},
	{"no-scheme", access_no_scheme, 2},
	{"unknown-scheme", access_unknown_scheme, 2},
	{"invalid-spec", access_invalid_spec, 2},
	{"invalid-port", access_invalid_port, 1},
	{"invalid-actor", access_invalid_actor, 1},
	{"no-port-action", access_no_port_action, 1},
	{"no-create", access_no_create, 2},
	{"no-codec", access_no_codec, 2},
	{"bad-media", access_bad_media, 1},
	{"invalid-cmd", access_invalid_cmd, 2},
};
constexpr IdEntry reserved1_ids[] = {
	{nullptr, nullptr, 0},
};
constexpr IdEntry reserved2_ids[] = {
	{nullptr, nullptr, 0},
};
constexpr TemplatePart user_message[] = {{nullptr, 1}};
constexpr IdEntry user_ids[] = {
	{"message", user_message, 1},
};
constexpr TemplatePart internal_bad_path[] = {{"bad path:", 0}, {nullptr, 1}};
constexpr TemplatePart internal_not_here[] = {{nullptr, 1}, {"not supported on your system", 0}};
constexpr TemplatePart internal_no_memory[] = {{"not enough memory", 0}};
constexpr TemplatePart internal_wrong_mem[] = {{"failed to release memory", 0}};
constexpr TemplatePart internal_stack_overflow[] = {{"stack overflow", 0}};
constexpr TemplatePart internal_limit_hit[] = {{"internal limit reached:", 0}, {nullptr, 1}};
constexpr TemplatePart internal_too_deep[] = {{"block or paren series is too deep to process", 0}};
constexpr TemplatePart internal_no_cycle[] = {{"circular reference not allowed", 0}};
constexpr TemplatePart internal_feature_na[] = {{"feature not available", 0}};
constexpr TemplatePart internal_not_done[] = {{"reserved for future use (or not yet implemented)", 0}};
constexpr TemplatePart internal_invalid_error[] = {{"invalid error object field value:", 0}, {nullptr, 1}};
constexpr TemplatePart internal_routines[] = {{"routines require compilation, from OS shell: `vyn -r <script.vyn>`", 0}};
constexpr TemplatePart internal_vyn_system[] = {{"contains Vyn/System code which requires compilation", 0}};
constexpr TemplatePart internal_deprecated[] = {{nullptr, 1}, {"is DEPRECATED, please use", 0}, {nullptr, 2}, {"instead", 0}};
constexpr IdEntry internal_ids[] = {
	{"bad-path", internal_bad_path, 2},
	{"not-here", internal_not_here, 2},
	{"no-memory", internal_no_memory, 1},
	{"wrong-mem", internal_wrong_mem, 1},
	{"stack-overflow", internal_stack_overflow, 1},
	{"limit-hit", internal_limit_hit, 2},
	{"too-deep", internal_too_deep, 1},
	{"no-cycle", internal_no_cycle, 1},
	{"feature-na", internal_feature_na, 1},
	{"not-done", internal_not_done, 1},
	{"invalid-error", internal_invalid_error, 2},
	{"routines", internal_routines, 1},
	{"vyn-system", internal_vyn_system, 1},
	{"deprecated", internal_deprecated, 4},
};

}  // namespace

const CategoryEntry catalog[CATEGORY_COUNT] = {
	{"throw", "Throw Error", throw_ids, 5},
	{"note", "note", note_ids, 1},
	{"syntax", "Syntax Error", syntax_ids, 7},
	{"script", "Script Error", script_ids, 94},
	{"math", "Math Error", math_ids, 3},
	{"access", "Access Error", access_ids, 15},
	{"reserved1", "Reserved1 Error", reserved1_ids, 0},
	{"reserved2", "Reserved2 Error", reserved2_ids, 0},
	{"user", "User Error", user_ids, 1},
	{"internal", "Internal Error", internal_ids, 14},
};

}  // namespace vyn::errors
