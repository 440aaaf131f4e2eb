#include "trel/protocol/json_writer.hpp"

#include <charconv>
#include <cmath>
#include <cstring>

namespace trel::json {

void append_int(std::string& out, int64_t v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

void append_uint(std::string& out, uint64_t v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

namespace {

// Writes a finite, non-zero double. std::to_chars in scientific form without a
// precision gives the shortest digits that read back to the same double
// ("d.ddde+XX"); they are then laid out by p, the position of the decimal
// point relative to the first digit.
void append_finite(std::string& out, double v) {
  char sci[40];
  auto r = std::to_chars(sci, sci + sizeof sci, v, std::chars_format::scientific);
  const char* p = sci;
  const char* end = r.ptr;
  if (*p == '-') {
    out += '-';
    ++p;
  }
  char digits[24];
  int n = 0;
  for (; p < end && *p != 'e'; ++p)
    if (*p != '.') digits[n++] = *p;
  int exp10 = 0;
  std::from_chars(p + 1 + (p[1] == '+'), end, exp10);

  const int point = exp10 + 1;  // value = 0.d1...dn * 10^point
  const int k = point - n;      // value = d1...dn * 10^k
  if (k >= 0 && point <= 16) {
    out.append(digits, n);
    out.append(static_cast<size_t>(k), '0');
    out += ".0";
  } else if (point > 0 && point <= 16) {
    out.append(digits, point);
    out += '.';
    out.append(digits + point, n - point);
  } else if (point > -5 && point <= 0) {
    out += "0.";
    out.append(static_cast<size_t>(-point), '0');
    out.append(digits, n);
  } else {
    out += digits[0];
    if (n > 1) {
      out += '.';
      out.append(digits + 1, n - 1);
    }
    out += 'e';
    append_int(out, point - 1);
  }
}

}  // namespace

void append_double(std::string& out, double v) {
  if (!std::isfinite(v)) {
    out += "null";
  } else if (v == 0.0) {
    out += std::signbit(v) ? "-0.0" : "0.0";
  } else {
    append_finite(out, v);
  }
}

void append_double_or_zero(std::string& out, double v) { append_double(out, std::isfinite(v) ? v : 0.0); }

std::string format_double(double v) {
  std::string s;
  append_double(s, v);
  return s;
}

void append_string(std::string& out, std::string_view s) {
  static constexpr char hex[] = "0123456789abcdef";
  out += '"';
  size_t run = 0;  // start of the pending run of bytes copied unchanged
  for (size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out.append(s.data() + run, i - run);
    run = i + 1;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\r':
        out += "\\r";
        break;
      default: {
        const char esc[] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 0xF]};
        out.append(esc, sizeof esc);
      }
    }
  }
  out.append(s.data() + run, s.size() - run);
  out += '"';
}

// ---- Reading ---------------------------------------------------------------

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Whether the integer literal (sign, then digits without leading zeros) fits
// int64 when negative or uint64 otherwise.
bool fits_64_bits(std::string_view lit) {
  const bool negative = lit.front() == '-';
  std::string_view digits = negative ? lit.substr(1) : lit;
  const std::string_view limit = negative ? "9223372036854775808" : "18446744073709551615";
  return digits.size() < limit.size() || (digits.size() == limit.size() && digits <= limit);
}

}  // namespace

std::optional<std::string> widen_integer_literals(std::string_view json) {
  std::string out;
  size_t copied = 0;  // json[0, copied) is already in out
  bool changed = false;
  for (size_t i = 0; i < json.size();) {
    const char c = json[i];
    if (c == '"') {
      // Skip the string, escapes included.
      for (++i; i < json.size() && json[i] != '"'; ++i)
        if (json[i] == '\\') ++i;
      ++i;
    } else if (c == '-' || is_digit(c)) {
      size_t end = i + (c == '-');
      while (end < json.size() && is_digit(json[end])) ++end;
      const bool integer = end > i + (c == '-') &&
                           (end == json.size() || (json[end] != '.' && json[end] != 'e' && json[end] != 'E'));
      if (integer && !fits_64_bits(json.substr(i, end - i))) {
        out.append(json.substr(copied, end - copied));
        out += ".0";
        copied = end;
        changed = true;
      }
      // Skip the rest of a float literal.
      while (end < json.size() && (is_digit(json[end]) || json[end] == '.' || json[end] == 'e' ||
                                   json[end] == 'E' || json[end] == '+' || json[end] == '-'))
        ++end;
      i = end;
    } else {
      ++i;
    }
  }
  if (!changed) return std::nullopt;
  out.append(json.substr(copied));
  return out;
}

// ---- Object ----------------------------------------------------------------

Object::Object(const Object& other) : members_(other.members_) {
  if (other.index_) index_ = std::make_unique<decltype(index_)::element_type>(*other.index_);
}

Object& Object::operator=(const Object& other) {
  if (this != &other) {
    Object copy(other);
    *this = std::move(copy);
  }
  return *this;
}

Object::~Object() = default;

ptrdiff_t Object::index_of(std::string_view key) const {
  if (index_) {
    auto it = index_->find(key);
    return it == index_->end() ? -1 : static_cast<ptrdiff_t>(it->second);
  }
  for (size_t i = 0; i < members_.size(); ++i)
    if (members_[i].first == key) return static_cast<ptrdiff_t>(i);
  return -1;
}

Value& Object::set(std::string key, Value v) {
  ptrdiff_t at = index_of(key);
  if (at >= 0) {
    Value& slot = members_[static_cast<size_t>(at)].second;
    slot = std::move(v);
    return slot;
  }
  if (index_) {
    index_->emplace(key, members_.size());
  } else if (members_.size() + 1 > kIndexThreshold) {
    index_ = std::make_unique<decltype(index_)::element_type>();
    index_->reserve(members_.size() * 2 + 2);
    for (size_t i = 0; i < members_.size(); ++i) index_->emplace(members_[i].first, i);
    index_->emplace(key, members_.size());
  }
  members_.emplace_back(std::move(key), std::move(v));
  return members_.back().second;
}

const Value* Object::find(std::string_view key) const {
  ptrdiff_t at = index_of(key);
  return at < 0 ? nullptr : &members_[static_cast<size_t>(at)].second;
}

Value* Object::find(std::string_view key) {
  return const_cast<Value*>(static_cast<const Object&>(*this).find(key));
}

// ---- Value -----------------------------------------------------------------

void Value::dump_to(std::string& out) const {
  switch (type()) {
    case Type::Null:
      out += "null";
      break;
    case Type::Bool:
      append_bool(out, std::get<bool>(v_));
      break;
    case Type::Int:
      append_int(out, std::get<int64_t>(v_));
      break;
    case Type::UInt:
      append_uint(out, std::get<uint64_t>(v_));
      break;
    case Type::Double:
      append_double(out, std::get<double>(v_));
      break;
    case Type::String:
      append_string(out, std::get<std::string>(v_));
      break;
    case Type::Array: {
      out += '[';
      bool first = true;
      for (const Value& e : std::get<Array>(v_)) {
        if (!first) out += ',';
        first = false;
        e.dump_to(out);
      }
      out += ']';
      break;
    }
    case Type::Object: {
      out += '{';
      bool first = true;
      for (const auto& [k, e] : std::get<Object>(v_)) {
        if (!first) out += ',';
        first = false;
        append_string(out, k);
        out += ':';
        e.dump_to(out);
      }
      out += '}';
      break;
    }
  }
}

std::string Value::dump() const {
  std::string out;
  dump_to(out);
  return out;
}

}  // namespace trel::json
