// Calendar functions and MarketStatus. Each function builds a calendar from its
// arguments, answers and drops it.
#include <string>
#include <utility>
#include <vector>

#include "registry.hpp"
#include "trel/time/market_status.hpp"
#include "trel/time/sampler.hpp"

namespace pyvelmora {

namespace {

namespace cal = trel::time;
using Status = cal::MarketStatusRecord;
using Holidays = std::vector<int32_t>;

// A policy name: bytes (undecodable sequences replaced) or str.
std::string policy_name(PyObject* key) {
  py::Object text;
  if (PyBytes_Check(key)) {
    char* p = nullptr;
    Py_ssize_t n = 0;
    if (PyBytes_AsStringAndSize(key, &p, &n) < 0) throw py::error_already_set{};
    text = py::Object::steal(py::check(PyUnicode_DecodeUTF8(p, n, "replace")));
  } else if (PyUnicode_Check(key)) {
    text = py::Object::borrow(key);
  } else {
    throw py::type_error("periods map key must be bytes (the oracle's std::string surface) or str");
  }
  Py_ssize_t n = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(text.get(), &n);
  if (!utf8) throw py::error_already_set{};
  return std::string(utf8, static_cast<size_t>(n));
}

cal::SessionList sessions_from(PyObject* value) {
  cal::SessionList out;
  py::Object it = py::Object::steal(py::check(PyObject_GetIter(value)));
  while (PyObject* next = PyIter_Next(it.get())) {
    py::Object item = py::Object::steal(next);
    const std::vector<int32_t> pair = py::from_python<std::vector<int32_t>>(item.get());
    if (pair.size() != 2) throw py::type_error("each period section must be a 2-element [startHHMM, endHHMM]");
    out.emplace_back(pair[0], pair[1]);
  }
  if (PyErr_Occurred()) throw py::error_already_set{};
  return out;
}

cal::PeriodMap periods_from(PyObject* periods) {
  if (!PyDict_Check(periods)) throw py::type_error("periods must be a mapping (pv.Int32PairVectorMap)");
  // A snapshot of the items: converting a value runs Python code that may change the dict.
  py::Object items = py::Object::steal(py::check(PyDict_Items(periods)));
  cal::PeriodMap out;
  for (Py_ssize_t i = 0, n = PyList_Size(items.get()); i < n; ++i) {
    PyObject* item = PyList_GetItem(items.get(), i);
    std::string name = policy_name(PyTuple_GetItem(item, 0));
    out.insert_or_assign(std::move(name), sessions_from(PyTuple_GetItem(item, 1)));
  }
  return out;
}

cal::MarketCalendar calendar(int32_t time_zone, const py::Object& periods, Holidays holidays) {
  return cal::MarketCalendar(time_zone, std::move(holidays), periods_from(periods.get()));
}

// --- functions ------------------------------------------------------------

int64_t next_market_break_time(uint64_t now, int32_t time_zone, py::Object periods, Holidays holidays) {
  cal::MarketCalendar c = calendar(time_zone, periods, std::move(holidays));
  return cal::next_market_break_time(c, now);
}

int64_t next_market_continue_time(uint64_t now, int32_t time_zone, py::Object periods, Holidays holidays) {
  cal::MarketCalendar c = calendar(time_zone, periods, std::move(holidays));
  return cal::next_market_continue_time(c, now);
}

std::vector<int64_t> equivalant_market_time(uint64_t now, int32_t time_zone, py::Object periods, Holidays holidays,
                                            bool ignore_weekend, int32_t pattern) {
  cal::MarketCalendar c = calendar(time_zone, periods, std::move(holidays));
  c.set_ignore_weekend(ignore_weekend);
  if (pattern < 0 || pattern > 2)
    throw py::type_error("pattern must be FLOOR(0)/CEIL(1)/ROUND(2), got " + std::to_string(pattern));
  const auto r = cal::equivalant_market_time(c, now, static_cast<cal::Rounding>(pattern));
  return {r[0], r[1], r[2]};
}

cal::SpanList tradeday_sections(int32_t tradeday, int32_t time_zone, py::Object periods, Holidays holidays) {
  return cal::tradeday_sections(calendar(time_zone, periods, std::move(holidays)), tradeday);
}

std::pair<int64_t, int64_t> sampler_tm_bound(uint64_t now, int32_t time_zone, py::Object periods, Holidays holidays,
                                             uint32_t granularity, bool tm_as_of_eod) {
  cal::MarketCalendar c = calendar(time_zone, periods, std::move(holidays));
  return cal::sampler_tm_bound(c, now, granularity, tm_as_of_eod);
}

std::pair<int64_t, int64_t> sampler_tm_begin(uint64_t now, int32_t time_zone, py::Object periods, Holidays holidays,
                                             uint32_t granularity, bool tm_as_of_eod) {
  cal::MarketCalendar c = calendar(time_zone, periods, std::move(holidays));
  return cal::sampler_tm_begin(c, now, granularity, tm_as_of_eod);
}

Status calculate_market_status(uint64_t now, int32_t time_zone, py::Object periods, Holidays holidays) {
  cal::MarketCalendar c = calendar(time_zone, periods, std::move(holidays));
  return cal::calculate_market_status(c, now);
}

Status calculate_market_status_include_weekend(uint64_t now, int32_t time_zone, py::Object periods,
                                               Holidays holidays) {
  cal::MarketCalendar c = calendar(time_zone, periods, std::move(holidays));
  return cal::calculate_market_status_include_weekend(c, now);
}

cal::SpanList this_tradeday_sections(uint64_t now, int32_t time_zone, py::Object periods, Holidays holidays,
                                     bool ignore_weekend) {
  cal::MarketCalendar c = calendar(time_zone, periods, std::move(holidays));
  c.set_ignore_weekend(ignore_weekend);
  return cal::this_tradeday_sections(c, now);
}

// --- MarketStatus accessors over the record's fields ----------------------

template <class C, class T>
T member_type_of(T C::*);
template <auto M>
using MemberT = decltype(member_type_of(M));

template <auto M>
MemberT<M> get_field(const Status& s) {
  return s.*M;
}
template <auto M>
void set_field(Status& s, MemberT<M> v) {
  s.*M = v;
}

}  // namespace

void register_sampler_functions(py::Module& m) {
  m.function<&next_market_break_time>("next_market_break_time", "now, time_zone, periods, holidays")
      .function<&next_market_continue_time>("next_market_continue_time", "now, time_zone, periods, holidays")
      .function<&equivalant_market_time>("equivalant_market_time",
                                         "now, time_zone, periods, holidays, ignore_weekend, pattern")
      .function<&tradeday_sections>("tradeday_sections", "tradeday, time_zone, periods, holidays")
      .function<&sampler_tm_bound>("sampler_tm_bound",
                                   "now, time_zone, periods, holidays, granularity, tm_as_of_eod=True")
      .function<&sampler_tm_begin>("sampler_tm_begin",
                                   "now, time_zone, periods, holidays, granularity, tm_as_of_eod=True");
}

void register_market_status(py::Module& m) {
  py::Class<Status>(m, "MarketStatus")
      .constructor()
      .accessors<&get_field<&Status::lattest_market_time>, &set_field<&Status::lattest_market_time>>(
          "lattest_market_time")
      .accessors<&get_field<&Status::begin>, &set_field<&Status::begin>>("begin")
      .accessors<&get_field<&Status::end>, &set_field<&Status::end>>("end")
      .accessors<&get_field<&Status::trade_day>, &set_field<&Status::trade_day>>("trade_day")
      .accessors<&get_field<&Status::action_day>, &set_field<&Status::action_day>>("action_day")
      .accessors<&get_field<&Status::market_open>, &set_field<&Status::market_open>>("market_open")
      .finish();
  m.function<&calculate_market_status>("calculate_market_status", "now, time_zone, periods, holidays")
      .function<&calculate_market_status_include_weekend>("calculate_market_status_include_weekend",
                                                          "now, time_zone, periods, holidays")
      .function<&this_tradeday_sections>("this_tradeday_sections",
                                         "now, time_zone, periods, holidays, ignore_weekend");
}

}  // namespace pyvelmora
