// Calendar functions and MarketStatus. Each function builds a calendar from its
// arguments, answers and drops it.
#include <algorithm>
#include <climits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "registry.hpp"
#include "trel/time/market_status.hpp"
#include "trel/time/sampler.hpp"

namespace pyvelmora {
namespace {

// The holiday list: any sequence of ints, as the generic list conversion reads
// it, with a fast path for a list or tuple of plain ints.
struct Holidays {
  std::vector<int32_t> days;
};

}  // namespace
}  // namespace pyvelmora

template <>
struct py::Conv<pyvelmora::Holidays> {
  static constexpr bool bound = false;
  static pyvelmora::Holidays from(PyObject* o) {
    if (!PyList_Check(o) && !PyTuple_Check(o)) return {Conv<std::vector<int32_t>>::from(o)};
    pyvelmora::Holidays out;
    out.days.reserve(static_cast<size_t>(PyObject_Length(o)));
    // The size is read again each time: an element's __index__ may change a list.
    for (Py_ssize_t i = 0; i < PyObject_Length(o); ++i) {
      Object item = Object::steal(check(PySequence_GetItem(o, i)));
      int overflow = 0;
      const long v = PyLong_CheckExact(item.get()) ? PyLong_AsLongAndOverflow(item.get(), &overflow) : 0;
      if (PyLong_CheckExact(item.get()) && !overflow && v >= INT32_MIN && v <= INT32_MAX)
        out.days.push_back(static_cast<int32_t>(v));
      else
        out.days.push_back(Conv<int32_t>::from(item.get()));
    }
    return out;
  }
};

namespace pyvelmora {

namespace {

namespace cal = trel::time;

std::string utf8_of(PyObject* text) {
  Py_ssize_t n = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(text, &n);
  if (!utf8) throw py::error_already_set{};
  return std::string(utf8, static_cast<size_t>(n));
}

// An exact int in i32 range, read without the generic conversion's overhead.
bool small_int(PyObject* o, int32_t& out) {
  if (!PyLong_CheckExact(o)) return false;
  int overflow = 0;
  const long v = PyLong_AsLongAndOverflow(o, &overflow);
  if (overflow || v < INT32_MIN || v > INT32_MAX) return false;
  out = static_cast<int32_t>(v);
  return true;
}
using Status = cal::MarketStatusRecord;

// A policy name: bytes (undecodable sequences replaced) or str.
std::string policy_name(PyObject* key) {
  if (PyBytes_Check(key)) {
    char* p = nullptr;
    Py_ssize_t n = 0;
    if (PyBytes_AsStringAndSize(key, &p, &n) < 0) throw py::error_already_set{};
    const std::string_view raw(p, static_cast<size_t>(n));
    // ASCII, the usual case, is already its own UTF-8.
    if (std::all_of(raw.begin(), raw.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
      return std::string(raw);
    py::Object text = py::Object::steal(py::check(PyUnicode_DecodeUTF8(p, n, "replace")));
    return utf8_of(text.get());
  }
  if (PyUnicode_Check(key)) return utf8_of(key);
  throw py::type_error("periods map key must be bytes (the oracle's std::string surface) or str");
}

cal::Session session_from(PyObject* item) {
  // Fast path: a list or tuple of two plain ints.
  if ((PyList_Check(item) || PyTuple_Check(item)) && PyObject_Length(item) == 2) {
    py::Object a = py::Object::steal(py::check(PySequence_GetItem(item, 0)));
    py::Object b = py::Object::steal(py::check(PySequence_GetItem(item, 1)));
    cal::Session s;
    if (small_int(a.get(), s.first) && small_int(b.get(), s.second)) return s;
  }
  const std::vector<int32_t> pair = py::from_python<std::vector<int32_t>>(item);
  if (pair.size() != 2) throw py::type_error("each period section must be a 2-element [startHHMM, endHHMM]");
  return {pair[0], pair[1]};
}

cal::SessionList sessions_from(PyObject* value) {
  cal::SessionList out;
  py::Object it = py::Object::steal(py::check(PyObject_GetIter(value)));
  while (PyObject* next = PyIter_Next(it.get())) {
    py::Object item = py::Object::steal(next);
    out.push_back(session_from(item.get()));
  }
  if (PyErr_Occurred()) throw py::error_already_set{};
  return out;
}

cal::PeriodMap periods_from(PyObject* periods) {
  if (!PyDict_Check(periods)) throw py::type_error("periods must be a mapping (pv.Int32PairVectorMap)");
  cal::PeriodMap out;
  PyObject *k, *v;
  Py_ssize_t pos = 0;
  // Key and value are held: converting a value runs Python code that may change
  // the dict; iteration then stays memory-safe, its order is unspecified.
  while (PyDict_Next(periods, &pos, &k, &v)) {
    py::Object key = py::Object::borrow(k);
    py::Object value = py::Object::borrow(v);
    std::string name = policy_name(key.get());
    out.insert_or_assign(std::move(name), sessions_from(value.get()));
  }
  return out;
}

cal::MarketCalendar calendar(int32_t time_zone, const py::Object& periods, Holidays holidays) {
  return cal::MarketCalendar(time_zone, std::move(holidays.days), periods_from(periods.get()));
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

std::vector<int64_t> equivalant_market_time(uint64_t now, int32_t time_zone, py::Object periods,
                                            Holidays holidays, bool ignore_weekend, int32_t pattern) {
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

std::pair<int64_t, int64_t> sampler_tm_bound(uint64_t now, int32_t time_zone, py::Object periods,
                                             Holidays holidays, uint32_t granularity, bool tm_as_of_eod) {
  cal::MarketCalendar c = calendar(time_zone, periods, std::move(holidays));
  return cal::sampler_tm_bound(c, now, granularity, tm_as_of_eod);
}

std::pair<int64_t, int64_t> sampler_tm_begin(uint64_t now, int32_t time_zone, py::Object periods,
                                             Holidays holidays, uint32_t granularity, bool tm_as_of_eod) {
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
      .member_accessors<&Status::lattest_market_time>("lattest_market_time")
      .member_accessors<&Status::begin>("begin")
      .member_accessors<&Status::end>("end")
      .member_accessors<&Status::trade_day>("trade_day")
      .member_accessors<&Status::action_day>("action_day")
      .member_accessors<&Status::market_open>("market_open")
      .finish();
  m.function<&calculate_market_status>("calculate_market_status", "now, time_zone, periods, holidays")
      .function<&calculate_market_status_include_weekend>("calculate_market_status_include_weekend",
                                                          "now, time_zone, periods, holidays")
      .function<&this_tradeday_sections>("this_tradeday_sections",
                                         "now, time_zone, periods, holidays, ignore_weekend");
}

}  // namespace pyvelmora
