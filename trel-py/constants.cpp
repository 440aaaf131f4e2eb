// The module's integer constants, grouped by the step of the registration order they belong to.
#include <cstdint>
#include <initializer_list>
#include <utility>

#include "registry.hpp"

namespace pyvelmora {
namespace {

using Table = std::initializer_list<std::pair<const char*, long long>>;

void add_all(py::Module& m, Table table) {
  for (const auto& [name, value] : table) m.constant(name, value);
}

}  // namespace

void register_row_constants(py::Module& m) {
  add_all(m, {{"namespace_global", 0},
              {"namespace_private", 1},
              {"data_type_int", 1},
              {"data_type_double", 2},
              {"data_type_string", 3},
              {"data_type_vint", 4},
              {"data_type_vdouble", 5},
              {"data_type_vstring", 6},
              {"data_type_int_64", 7},
              {"data_type_vint_64", 8},
              {"index_field_type_integer", 1},
              {"index_field_type_double", 2},
              {"index_field_type_string", 3},
              {"index_field_type_vinteger", 4},
              {"index_field_type_vdouble", 5},
              {"index_field_type_vstring", 6},
              {"index_field_type_int_64", 7},
              {"index_field_type_vint_64", 8}});
}

// Trading codes are ASCII digits.
void register_entrust_constants(py::Module& m) {
  add_all(m, {{"entrust_oc_open", '0'},
              {"entrust_oc_close", '1'},
              {"entrust_direction_buy", '0'},
              {"entrust_direction_sell", '1'}});
}

void register_rounding_constants(py::Module& m) { add_all(m, {{"FLOOR", 0}, {"CEIL", 1}, {"ROUND", 2}}); }

void register_market_state_constants(py::Module& m) {
  add_all(m, {{"market_state_open", 0},
              {"market_state_close", 1},
              {"market_state_trade_day_begin", 2},
              {"market_state_trade_day_end", 3},
              {"market_state_tick", 4}});
}

void register_vornhelm_constants(py::Module& m) {
  add_all(
      m,
      {{"vornhelm_category_sampler", 0}, {"vornhelm_category_soldier", 1}, {"vornhelm_category_client", 2}});
}

void register_framing_constants(py::Module& m) {
  add_all(m, {{"network_magic_num", 0x75F4C465}, {"net_cmd_vorn_route_prote_clientid", 0x6667}});
  // Command codes: there is no 0x5013 and nothing between 0x5016 and 0x501B.
  add_all(m, {{"cmd_at_start_backtest", 0x5001},
              {"cmd_at_ctrl_backtest", 0x5002},
              {"cmd_at_universe_rev", 0x5003},
              {"cmd_at_universe_meta", 0x5004},
              {"cmd_at_universe_seeds", 0x5005},
              {"cmd_at_fetch_by_code", 0x5006},
              {"cmd_at_fetch_by_time", 0x5007},
              {"cmd_at_run_formula", 0x5008},
              {"cmd_at_reg_formula", 0x5009},
              {"cmd_at_del_formula", 0x500A},
              {"cmd_at_cal_formula", 0x500B},
              {"cmd_at_reg_libraries", 0x500C},
              {"cmd_at_subscribe", 0x500D},
              {"cmd_at_subscribe_sort", 0x500E},
              {"cmd_at_unsubscribe", 0x500F},
              {"cmd_at_account_add", 0x5010},
              {"cmd_at_account_del", 0x5011},
              {"cmd_at_account_edit", 0x5012},
              {"cmd_at_manual_trade", 0x5014},
              {"cmd_at_manual_edit", 0x5015},
              {"cmd_at_query_orders", 0x501C},
              {"cmd_at_handshake", 0x5020},
              {"cmd_at_account_change_capital", 0x502A},
              {"cmd_ta_market_status", 0x5021},
              {"cmd_ta_push_data", 0x5022},
              {"cmd_ta_market_zenthe", 0x5023},
              {"cmd_ta_subscribe_header", 0x5024},
              {"cmd_ta_push_progress", 0x5025},
              {"cmd_ta_push_log", 0x5026},
              {"cmd_ta_push_formula", 0x5027},
              {"cmd_td_push_start", 0x1005},
              {"cmd_td_coverup", 0x100A},
              {"net_cmd_vorn_route_keepalive", 0x6001},
              {"net_cmd_vorn_route_datadef", 0x6668}});
  // Trade-manager enumerations. The transposed "backteset" spelling is kept for old callers.
  add_all(m, {{"runtime_type_backtest", 0},
              {"runtime_type_live", 1},
              {"category_indicator", 1},
              {"client_category_index_calculator", 1},
              {"error_no_interface", 16},
              {"control_backteset_operation_deploy", 0},
              {"control_backtest_operation_deploy", 0},
              {"control_backtest_operation_retire", 1},
              {"control_backtest_operation_runpass", 2},
              {"control_backtest_operation_tail", 3},
              {"control_backtest_operation_stop", 4},
              {"control_backtest_operation_continue", 5},
              {"control_backtest_operation_marked", 6},
              {"account_edit_operation_add_sub_account", 1},
              {"account_edit_operation_del_sub_account", 2},
              {"account_edit_operation_assign_trader", 3},
              {"account_edit_operation_assign_strategy", 4},
              {"account_edit_operation_change_password", 5},
              {"account_edit_operation_change_capital", 6},
              {"account_edit_operation_rename", 7},
              {"account_edit_operation_change_basket_capital", 8},
              {"account_edit_operation_update_pattern", 9},
              {"account_edit_operation_check_strategy", 10},
              {"account_category_stock", 0},
              {"account_category_future", 1},
              {"account_category_any", 2},
              {"sample_granularity_type_min", 0},
              {"sample_granularity_type_enum", 1}});
}

void register_push_constants(py::Module& m) {
  add_all(m, {{"cmd_dt_market_status", 0x1004},
              {"cmd_td_push_start", 0x1005},
              {"cmd_td_push", 0x1006},
              {"cmd_td_push_stop", 0x1007},
              {"cmd_td_market_meta", 0x100B},
              {"cmd_dd_report_market", 0x100C},
              {"cmd_tb_market_status", 0x4005},
              {"pellux_push_type_live", 0},
              {"pellux_push_type_historical", 1}});
}

}  // namespace pyvelmora
