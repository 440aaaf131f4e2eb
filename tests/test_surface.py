"""The module surface: constants, alias types and the argument conversion rules."""
import inspect

import pytest

import pyvelmora as pv

EXPECTED_CONSTANTS = {
    "namespace_global": 0, "namespace_private": 1,
    "data_type_int": 1, "data_type_double": 2, "data_type_string": 3, "data_type_vint": 4,
    "data_type_vdouble": 5, "data_type_vstring": 6, "data_type_int_64": 7, "data_type_vint_64": 8,
    "index_field_type_integer": 1, "index_field_type_double": 2, "index_field_type_string": 3,
    "index_field_type_vinteger": 4, "index_field_type_vdouble": 5, "index_field_type_vstring": 6,
    "index_field_type_int_64": 7, "index_field_type_vint_64": 8,
    "entrust_oc_open": 48, "entrust_oc_close": 49, "entrust_direction_buy": 48, "entrust_direction_sell": 49,
    "FLOOR": 0, "CEIL": 1, "ROUND": 2,
    "market_state_open": 0, "market_state_close": 1, "market_state_trade_day_begin": 2,
    "market_state_trade_day_end": 3, "market_state_tick": 4,
    "vornhelm_category_sampler": 0, "vornhelm_category_soldier": 1, "vornhelm_category_client": 2,
    "network_magic_num": 1978975333, "net_cmd_vorn_route_prote_clientid": 26215,
    "cmd_at_start_backtest": 0x5001, "cmd_at_ctrl_backtest": 0x5002, "cmd_at_universe_rev": 0x5003,
    "cmd_at_universe_meta": 0x5004, "cmd_at_universe_seeds": 0x5005, "cmd_at_fetch_by_code": 0x5006,
    "cmd_at_fetch_by_time": 0x5007, "cmd_at_run_formula": 0x5008, "cmd_at_reg_formula": 0x5009,
    "cmd_at_del_formula": 0x500A, "cmd_at_cal_formula": 0x500B, "cmd_at_reg_libraries": 0x500C,
    "cmd_at_subscribe": 0x500D, "cmd_at_subscribe_sort": 0x500E, "cmd_at_unsubscribe": 0x500F,
    "cmd_at_account_add": 0x5010, "cmd_at_account_del": 0x5011, "cmd_at_account_edit": 0x5012,
    "cmd_at_manual_trade": 0x5014, "cmd_at_manual_edit": 0x5015, "cmd_at_query_orders": 0x501C,
    "cmd_at_handshake": 0x5020, "cmd_at_account_change_capital": 0x502A,
    "cmd_ta_market_status": 0x5021, "cmd_ta_push_data": 0x5022, "cmd_ta_market_zenthe": 0x5023,
    "cmd_ta_subscribe_header": 0x5024, "cmd_ta_push_progress": 0x5025, "cmd_ta_push_log": 0x5026,
    "cmd_ta_push_formula": 0x5027, "cmd_td_push_start": 0x1005, "cmd_td_coverup": 0x100A,
    "net_cmd_vorn_route_keepalive": 0x6001, "net_cmd_vorn_route_datadef": 0x6668,
    "runtime_type_backtest": 0, "runtime_type_live": 1, "category_indicator": 1,
    "client_category_index_calculator": 1, "error_no_interface": 16,
    "control_backteset_operation_deploy": 0, "control_backtest_operation_deploy": 0,
    "control_backtest_operation_retire": 1, "control_backtest_operation_runpass": 2,
    "control_backtest_operation_tail": 3, "control_backtest_operation_stop": 4,
    "control_backtest_operation_continue": 5, "control_backtest_operation_marked": 6,
    "account_edit_operation_add_sub_account": 1, "account_edit_operation_del_sub_account": 2,
    "account_edit_operation_assign_trader": 3, "account_edit_operation_assign_strategy": 4,
    "account_edit_operation_change_password": 5, "account_edit_operation_change_capital": 6,
    "account_edit_operation_rename": 7, "account_edit_operation_change_basket_capital": 8,
    "account_edit_operation_update_pattern": 9, "account_edit_operation_check_strategy": 10,
    "account_category_stock": 0, "account_category_future": 1, "account_category_any": 2,
    "sample_granularity_type_min": 0, "sample_granularity_type_enum": 1,
    "cmd_dt_market_status": 0x1004, "cmd_td_push": 0x1006, "cmd_td_push_stop": 0x1007,
    "cmd_td_market_meta": 0x100B, "cmd_dd_report_market": 0x100C, "cmd_tb_market_status": 0x4005,
    "pellux_push_type_live": 0, "pellux_push_type_historical": 1,
}

VECTORS = ["StructValueVector", "IndexMetaVector", "FieldVector", "Int32Vector", "Int64Vector", "Uint32Vector",
           "DoubleVector", "StringVector", "Int32PairVector", "SecuritySelectorVector", "UniverseOutExportDefVector",
           "UniverseOutSubAccountVector", "StructValueKeyValueVector", "MarketMetaVector"]
MAPS = ["Int32PairVectorMap", "StringToStringVector", "StringToSetOfStringMap", "StringToSetOfUint32Map",
        "UniverseInMap", "UniverseOutMap", "UniverseOutExportMap", "ImportsMap", "Int32StringMap",
        "Uint32ToByteArrayMap", "StructValueKeyToSetOfUint32Map", "StructValueKeyToSetOfStructValueKeyMap",
        "MarketCategoryMap", "MarketSecurityMap"]
SETS = ["Uint32Set", "StringSet"]
PLACEHOLDERS = ["TCError", "TCLog", "TCReady", "ATBaseResponse", "ATCalFormulaRes", "ATCalFormulaRTRes",
                "ATRegFormulaRes", "ATSubscribeOrderRes", "ATSubscribeRes", "ATSubscribeSVRes", "PXCoverUpReq"]


def test_every_constant_has_its_value():
    assert len(EXPECTED_CONSTANTS) == 105
    actual = {name: getattr(pv, name, None) for name in EXPECTED_CONSTANTS}
    assert actual == EXPECTED_CONSTANTS
    assert all(type(v) is int for v in actual.values())


def test_module_is_a_stable_abi_build():
    assert pv.__file__.endswith(".abi3.so")


@pytest.mark.parametrize("names,base", [(VECTORS, list), (MAPS, dict), (SETS, set), (PLACEHOLDERS, object)])
def test_alias_types_subclass_their_builtin(names, base):
    for name in names:
        alias = getattr(pv, name)
        assert alias.__bases__ == (base,), name
        assert isinstance(alias(), base)


def test_alias_methods_are_shared_and_work():
    v = pv.StructValueVector()
    assert v.empty() is True
    v.push_back(1)
    assert (v.size(), v.empty(), v) == (1, False, [1])
    s = pv.Uint32Set()
    assert s.insert(5) is None and s == {5} and s.size() == 1
    assert pv.Int32StringMap().empty() is True
    assert pv.Int32Vector.size is pv.MarketSecurityMap.size


def test_placeholder_constructs_and_push_start_res_is_replaced_later():
    pv.TCError()
    assert pv.PXPushStartRes.__bases__ == (object,) or hasattr(pv.PXPushStartRes, "encode")


@pytest.mark.parametrize(
    "call,exc,text",
    [
        (lambda sv: sv.set_market("SH"), TypeError, "argument 'v': 'str' object cannot be converted to 'PyBytes'"),
        (lambda sv: sv.set_market(bytearray(b"SH")), TypeError,
         "argument 'v': 'bytearray' object cannot be converted to 'PyBytes'"),
        (lambda sv: sv.set_namespace(70000), OverflowError, "out of range integral type conversion attempted"),
        (lambda sv: sv.set_meta_id(2**31), OverflowError, "out of range integral type conversion attempted"),
        (lambda sv: sv.set_meta_id(2**64), OverflowError, "Python int too large to convert to C long"),
        (lambda sv: sv.set_time_tag(-1), OverflowError, "can't convert negative int to unsigned"),
        (lambda sv: sv.resize(-1), OverflowError, "can't convert negative int to unsigned"),
        (lambda sv: sv.set_meta_id("1"), TypeError, "argument 'v': 'str' object cannot be interpreted as an integer"),
        (lambda sv: sv.set_meta_id(1.0), TypeError, "argument 'v': 'float' object cannot be interpreted as an integer"),
        (lambda sv: sv.set_meta_id(None), TypeError,
         "argument 'v': 'NoneType' object cannot be interpreted as an integer"),
        (lambda sv: sv.set_double(0, "1"), TypeError, "argument 'v': must be real number, not str"),
        (lambda sv: sv.set_int_32_vector(0, "12"), TypeError, "argument 'v': Can't extract `str` to `Vec`"),
        (lambda sv: sv.set_int_32_vector(0, 5), TypeError, "argument 'v': 'int' object cannot be converted to 'Sequence'"),
        (lambda sv: sv.set_int_32_vector(0, [1, "x"]), TypeError,
         "argument 'v': 'str' object cannot be interpreted as an integer"),
        (lambda sv: sv.set_string_vector(0, [b"a", "b"]), TypeError, "argument 'v': Can't extract `str` to `Vec`"),
        (lambda sv: sv.copy(5), TypeError, "argument 's': 'int' object cannot be converted to 'StructValue'"),
        (lambda sv: sv.set_int(0), TypeError, "StructValue.set_int() missing 1 required positional argument: 'v'"),
        (lambda sv: sv.set_int(), TypeError,
         "StructValue.set_int() missing 2 required positional arguments: 'pos' and 'v'"),
        (lambda sv: sv.set_int(0, 1, 2), TypeError, "StructValue.set_int() takes 2 positional arguments but 3 were given"),
        (lambda sv: sv.size(1), TypeError, "StructValue.size() takes 0 positional arguments but 1 was given"),
        (lambda sv: sv.set_int(0, v=1, w=2), TypeError, "StructValue.set_int() got an unexpected keyword argument 'w'"),
        (lambda sv: sv.set_int(0, pos=1), TypeError, "StructValue.set_int() got multiple values for argument 'pos'"),
        (lambda sv: pv.StructValue(1), TypeError, "StructValue() takes 0 positional arguments but 1 was given"),
    ],
)
def test_conversion_errors(call, exc, text):
    sv = pv.StructValue()
    sv.resize(1)
    with pytest.raises(exc) as info:
        call(sv)
    assert type(info.value) is exc
    assert str(info.value) == text


class Indexable:
    def __index__(self):
        return 7


class Floatable:
    def __float__(self):
        return 2.5


def test_accepted_conversions():
    sv = pv.StructValue()
    sv.resize(3)
    sv.set_int(pos=0, v=Indexable())
    sv.set_double(1, 1)
    sv.set_int_32_vector(2, (1, 2))
    assert (sv.get_int(0), sv.get_double(1), sv.get_int_32_vector(2)) == (7, 1.0, [1, 2])
    assert type(sv.get_double(1)) is float
    sv.set_double(Indexable() if False else 1, Floatable())
    assert sv.get_double(1) == 2.5
    sv.set_market(type("B", (bytes,), {})(b"SZ"))
    assert sv.get_market() == b"SZ"


def test_text_signatures():
    assert str(inspect.signature(pv.StructValue.set_int)) == "(self, /, pos, v)"
    assert str(inspect.signature(pv.StructValue)) == "()"
    assert str(inspect.signature(pv.StructValue.size)) == "(self, /)"


def test_mutating_a_row_with_itself_is_refused():
    sv = pv.StructValue()
    with pytest.raises(RuntimeError, match="^Already mutably borrowed$"):
        sv.copy(sv)
