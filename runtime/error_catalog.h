// The error catalog: categories, ids and message templates.
// An id's code is category * 100 + its position in the category.
#pragma once

#include <cstdint>

namespace vyn::errors {

enum class Category : uint8_t {
	throw_, note, syntax, script, math, access, reserved1, reserved2, user, internal,
};

struct Id {
	Category category;
	uint8_t number;
	constexpr uint32_t code() const { return uint32_t(category) * 100 + number; }
};

// Ids by category: errors::id::script_no_value and so on.
namespace id {
constexpr Id throw_break{Category::throw_, 0};
constexpr Id throw_return{Category::throw_, 1};
constexpr Id throw_throw{Category::throw_, 2};
constexpr Id throw_continue{Category::throw_, 3};
constexpr Id throw_while_cond{Category::throw_, 4};
constexpr Id note_no_load{Category::note, 0};
constexpr Id syntax_invalid{Category::syntax, 0};
constexpr Id syntax_missing{Category::syntax, 1};
constexpr Id syntax_no_header{Category::syntax, 2};
constexpr Id syntax_no_vs_header{Category::syntax, 3};
constexpr Id syntax_bad_header{Category::syntax, 4};
constexpr Id syntax_malconstruct{Category::syntax, 5};
constexpr Id syntax_bad_char{Category::syntax, 6};
constexpr Id script_no_value{Category::script, 0};
constexpr Id script_need_value{Category::script, 1};
constexpr Id script_not_defined{Category::script, 2};
constexpr Id script_not_in_context{Category::script, 3};
constexpr Id script_no_arg{Category::script, 4};
constexpr Id script_expect_arg{Category::script, 5};
constexpr Id script_expect_val{Category::script, 6};
constexpr Id script_expect_type{Category::script, 7};
constexpr Id script_cannot_use{Category::script, 8};
constexpr Id script_invalid_arg{Category::script, 9};
constexpr Id script_invalid_type{Category::script, 10};
constexpr Id script_invalid_type_spec{Category::script, 11};
constexpr Id script_invalid_key_type{Category::script, 12};
constexpr Id script_invalid_op{Category::script, 13};
constexpr Id script_no_op_arg{Category::script, 14};
constexpr Id script_bad_op_spec{Category::script, 15};
constexpr Id script_invalid_data{Category::script, 16};
constexpr Id script_invalid_part{Category::script, 17};
constexpr Id script_not_same_type{Category::script, 18};
constexpr Id script_not_same_class{Category::script, 19};
constexpr Id script_not_related{Category::script, 20};
constexpr Id script_bad_func_def{Category::script, 21};
constexpr Id script_bad_func_arg{Category::script, 22};
constexpr Id script_bad_func_extern{Category::script, 23};
constexpr Id script_no_refine{Category::script, 24};
constexpr Id script_bad_refines{Category::script, 25};
constexpr Id script_bad_refine{Category::script, 26};
constexpr Id script_dup_refine{Category::script, 27};
constexpr Id script_word_first{Category::script, 28};
constexpr Id script_empty_path{Category::script, 29};
constexpr Id script_unset_path{Category::script, 30};
constexpr Id script_invalid_path{Category::script, 31};
constexpr Id script_invalid_path_set{Category::script, 32};
constexpr Id script_invalid_path_get{Category::script, 33};
constexpr Id script_bad_path_type{Category::script, 34};
constexpr Id script_bad_path_type2{Category::script, 35};
constexpr Id script_bad_path_set{Category::script, 36};
constexpr Id script_bad_field_set{Category::script, 37};
constexpr Id script_dup_vars{Category::script, 38};
constexpr Id script_past_end{Category::script, 39};
constexpr Id script_missing_arg{Category::script, 40};
constexpr Id script_out_of_range{Category::script, 41};
constexpr Id script_invalid_chars{Category::script, 42};
constexpr Id script_invalid_compare{Category::script, 43};
constexpr Id script_wrong_type{Category::script, 44};
constexpr Id script_invalid_refine_arg{Category::script, 45};
constexpr Id script_type_limit{Category::script, 46};
constexpr Id script_size_limit{Category::script, 47};
constexpr Id script_no_return{Category::script, 48};
constexpr Id script_throw_usage{Category::script, 49};
constexpr Id script_locked_word{Category::script, 50};
constexpr Id script_protected{Category::script, 51};
constexpr Id script_bad_bad{Category::script, 52};
constexpr Id script_bad_make_arg{Category::script, 53};
constexpr Id script_bad_to_arg{Category::script, 54};
constexpr Id script_invalid_months{Category::script, 55};
constexpr Id script_invalid_spec_field{Category::script, 56};
constexpr Id script_missing_spec_field{Category::script, 57};
constexpr Id script_move_bad{Category::script, 58};
constexpr Id script_too_long{Category::script, 59};
constexpr Id script_invalid_char{Category::script, 60};
constexpr Id script_bad_loop_series{Category::script, 61};
constexpr Id script_wrong_denom{Category::script, 62};
constexpr Id script_bad_denom{Category::script, 63};
constexpr Id script_invalid_obj_evt{Category::script, 64};
constexpr Id script_parse_rule{Category::script, 65};
constexpr Id script_parse_end{Category::script, 66};
constexpr Id script_parse_invalid_ref{Category::script, 67};
constexpr Id script_parse_block{Category::script, 68};
constexpr Id script_parse_unsupported{Category::script, 69};
constexpr Id script_parse_infinite{Category::script, 70};
constexpr Id script_parse_stack{Category::script, 71};
constexpr Id script_parse_keep{Category::script, 72};
constexpr Id script_parse_into_bad{Category::script, 73};
constexpr Id script_parse_into_type{Category::script, 74};
constexpr Id script_draw_invalid{Category::script, 75};
constexpr Id script_draw_infinite{Category::script, 76};
constexpr Id script_invalid_data_facet{Category::script, 77};
constexpr Id script_face_type{Category::script, 78};
constexpr Id script_not_window{Category::script, 79};
constexpr Id script_bad_window{Category::script, 80};
constexpr Id script_not_linked{Category::script, 81};
constexpr Id script_not_event_type{Category::script, 82};
constexpr Id script_invalid_facet_type{Category::script, 83};
constexpr Id script_vid_invalid_syntax{Category::script, 84};
constexpr Id script_rtd_invalid_syntax{Category::script, 85};
constexpr Id script_rtd_no_match{Category::script, 86};
constexpr Id script_react_bad_func{Category::script, 87};
constexpr Id script_react_not_enough{Category::script, 88};
constexpr Id script_react_no_match{Category::script, 89};
constexpr Id script_react_bad_obj{Category::script, 90};
constexpr Id script_react_gctx{Category::script, 91};
constexpr Id script_lib_invalid_arg{Category::script, 92};
constexpr Id script_vb_invalid_record{Category::script, 93};
constexpr Id math_zero_divide{Category::math, 0};
constexpr Id math_overflow{Category::math, 1};
constexpr Id math_positive{Category::math, 2};
constexpr Id access_cannot_open{Category::access, 0};
constexpr Id access_cannot_close{Category::access, 1};
constexpr Id access_invalid_utf8{Category::access, 2};
constexpr Id access_not_open{Category::access, 3};
constexpr Id access_no_connect{Category::access, 4};
constexpr Id access_no_scheme{Category::access, 5};
constexpr Id access_unknown_scheme{Category::access, 6};
constexpr Id access_invalid_spec{Category::access, 7};
constexpr Id access_invalid_port{Category::access, 8};
constexpr Id access_invalid_actor{Category::access, 9};
constexpr Id access_no_port_action{Category::access, 10};
constexpr Id access_no_create{Category::access, 11};
constexpr Id access_no_codec{Category::access, 12};
constexpr Id access_bad_media{Category::access, 13};
constexpr Id access_invalid_cmd{Category::access, 14};
constexpr Id user_message{Category::user, 0};
constexpr Id internal_bad_path{Category::internal, 0};
constexpr Id internal_not_here{Category::internal, 1};
constexpr Id internal_no_memory{Category::internal, 2};
constexpr Id internal_wrong_mem{Category::internal, 3};
constexpr Id internal_stack_overflow{Category::internal, 4};
constexpr Id internal_limit_hit{Category::internal, 5};
constexpr Id internal_too_deep{Category::internal, 6};
constexpr Id internal_no_cycle{Category::internal, 7};
constexpr Id internal_feature_na{Category::internal, 8};
constexpr Id internal_not_done{Category::internal, 9};
constexpr Id internal_invalid_error{Category::internal, 10};
constexpr Id internal_routines{Category::internal, 11};
constexpr Id internal_vyn_system{Category::internal, 12};
constexpr Id internal_deprecated{Category::internal, 13};
}  // namespace id

// A template part: literal text, or the error field arg1..arg3 (1-3).
struct TemplatePart {
	const char* text;  // null for an argument
	uint8_t arg;
};

struct IdEntry {
	const char* name;
	const TemplatePart* parts;
	uint8_t part_count;
};

struct CategoryEntry {
	const char* name;
	const char* display;
	const IdEntry* ids;
	uint8_t id_count;
};

constexpr int CATEGORY_COUNT = 10;
extern const CategoryEntry catalog[CATEGORY_COUNT];

}  // namespace vyn::errors
