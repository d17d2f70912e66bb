// Group-code value types, as the DXF format assigns them by code range.
#include "engine/model/tag.h"

namespace kel::engine {

ValueKind kindOf(int c) {
  if (c < 0) return ValueKind::String;
  if (c <= 4) return ValueKind::String;
  if (c == 5) return ValueKind::Handle;
  if (c <= 9) return ValueKind::String;
  if (c <= 59) return ValueKind::Double;
  if (c <= 79) return ValueKind::Int16;
  if (c <= 99) return ValueKind::Int32;
  if (c == 105) return ValueKind::Handle;
  if (c <= 109) return ValueKind::String;
  if (c <= 149) return ValueKind::Double;
  if (c >= 160 && c <= 169) return ValueKind::Int64;
  if (c >= 170 && c <= 179) return ValueKind::Int16;
  if (c >= 210 && c <= 239) return ValueKind::Double;
  if (c >= 270 && c <= 289) return ValueKind::Int16;
  if (c >= 290 && c <= 299) return ValueKind::Bool;
  if (c >= 300 && c <= 309) return ValueKind::String;
  if (c >= 310 && c <= 319) return ValueKind::Binary;
  if (c >= 320 && c <= 369) return ValueKind::Handle;
  if (c >= 370 && c <= 389) return ValueKind::Int16;
  if (c >= 390 && c <= 399) return ValueKind::Handle;
  if (c >= 400 && c <= 409) return ValueKind::Int16;
  if (c >= 410 && c <= 419) return ValueKind::String;
  if (c >= 420 && c <= 429) return ValueKind::Int32;
  if (c >= 430 && c <= 439) return ValueKind::String;
  if (c >= 440 && c <= 459) return ValueKind::Int32;
  if (c >= 460 && c <= 469) return ValueKind::Double;
  if (c >= 470 && c <= 479) return ValueKind::String;
  if (c == 480 || c == 481) return ValueKind::Handle;
  if (c == 999) return ValueKind::String;
  if (c == 1004) return ValueKind::Binary;
  if (c == 1005) return ValueKind::Handle;
  if (c >= 1000 && c <= 1009) return ValueKind::String;
  if (c >= 1010 && c <= 1059) return ValueKind::Double;
  if (c >= 1060 && c <= 1070) return ValueKind::Int16;
  if (c == 1071) return ValueKind::Int32;
  return ValueKind::String;
}

bool isKnownCode(int c) { return c >= 0 && c <= 1071; }

Tag Tag::str(int code, std::string v) {
  Tag t;
  t.code = int16_t(code);
  t.kind = ValueKind::String;
  t.s = std::move(v);
  return t;
}
Tag Tag::real(int code, double v) {
  Tag t;
  t.code = int16_t(code);
  t.kind = ValueKind::Double;
  t.d = v;
  return t;
}
Tag Tag::integer(int code, int64_t v) {
  Tag t;
  t.code = int16_t(code);
  t.kind = kindOf(code);
  if (t.kind == ValueKind::Double) t.d = double(v);
  else t.i = v;
  return t;
}
Tag Tag::handle(int code, Handle h) {
  Tag t;
  t.code = int16_t(code);
  t.kind = ValueKind::Handle;
  t.i = int64_t(h);
  return t;
}

}  // namespace kel::engine
