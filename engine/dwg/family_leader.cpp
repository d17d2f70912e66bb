// The leader family of types (see families.h): LEADER, MLEADERSTYLE and MULTILEADER.
#include <cstdlib>

#include "engine/dwg/families.h"
#include "engine/dwg/types_leader.h"

namespace kel::dwg {

namespace types {

namespace {

void emitPoint(ObjectReader& io, int code, const Point3& p) {
  io.implied(Tag::real(code, p.x));
  io.implied(Tag::real(code + 10, p.y));
  io.implied(Tag::real(code + 20, p.z));
}
void emitInt(ObjectReader& io, int code, int64_t v) { io.implied(Tag::integer(code, v)); }
void emitReal(ObjectReader& io, int code, double v) { io.implied(Tag::real(code, v)); }
void emitHandle(ObjectReader& io, int code, Handle h) { io.implied(Tag::handle(code, h)); }
void emitText(ObjectReader& io, int code, const std::string& s) { io.implied(Tag::str(code, s)); }

}  // namespace

void emitMLeader(ObjectReader& io, const MLeader& m) {
  const MlContext& c = m.ctx;
  const bool r2010 = io.since(V::R2010);
  emitInt(io, 270, m.version);
  emitText(io, 300, "CONTEXT_DATA{");
  emitReal(io, 40, c.scale);
  emitPoint(io, 10, c.contentBase);
  emitReal(io, 41, c.textHeight);
  emitReal(io, 140, c.arrowSize);
  emitReal(io, 145, c.landingGap);
  emitInt(io, 174, c.textLeft);
  emitInt(io, 175, c.textRight);
  emitInt(io, 176, c.textAlign);
  emitInt(io, 177, c.attachType);
  emitInt(io, 290, c.hasText);
  if (c.hasText) {
    const MlText& t = c.text;
    emitText(io, 304, t.label);
    emitPoint(io, 11, t.normal);
    emitHandle(io, 340, t.style);
    emitPoint(io, 12, t.location);
    emitPoint(io, 13, t.direction);
    emitReal(io, 42, t.rotation);
    emitReal(io, 43, t.width);
    emitReal(io, 44, t.height);
    emitReal(io, 45, t.spacingFactor);
    emitInt(io, 170, t.spacingStyle);
    emitInt(io, 90, t.color);
    emitInt(io, 171, t.alignment);
    emitInt(io, 172, t.flow);
    emitInt(io, 91, t.bgColor);
    emitReal(io, 141, t.bgScale);
    emitInt(io, 92, t.bgTransparency);
    emitInt(io, 291, t.bgFill);
    emitInt(io, 292, t.bgMask);
    emitInt(io, 173, t.columnType);
    emitInt(io, 293, t.autoHeight);
    emitReal(io, 142, t.columnWidth);
    emitReal(io, 143, t.gutter);
    emitInt(io, 294, t.flowReversed);
    for (double w : t.columnSizes) emitReal(io, 144, w);
    emitInt(io, 295, t.wordBreak);
  }
  emitInt(io, 296, c.hasBlock);
  if (c.hasBlock) {
    const MlBlock& k = c.block;
    emitHandle(io, 341, k.block);
    emitPoint(io, 14, k.normal);
    emitPoint(io, 15, k.location);
    emitPoint(io, 16, k.scale);
    emitReal(io, 46, k.rotation);
    emitInt(io, 93, k.color);
    for (double v : k.matrix) emitReal(io, 47, v);
  }
  emitPoint(io, 110, c.base);
  emitPoint(io, 111, c.baseDir);
  emitPoint(io, 112, c.baseVert);
  emitInt(io, 297, c.normalReversed);
  for (const MlRoot& r : c.roots) {
    emitText(io, 302, "LEADER{");
    emitInt(io, 290, r.valid);
    emitInt(io, 291, r.unknown);
    emitPoint(io, 10, r.connection);
    emitPoint(io, 11, r.direction);
    for (const MlBreak& k : r.breaks) {
      emitPoint(io, 11, k.start);
      emitPoint(io, 12, k.end);
    }
    emitInt(io, 90, r.index);
    emitReal(io, 40, r.landing);
    for (const MlLine& l : r.lines) {
      emitText(io, 304, "LEADER_LINE{");
      for (const Point3& p : l.points) emitPoint(io, 10, p);
      for (const MlBreakInfo& k : l.breaks) {
        emitInt(io, 90, k.segment);
        for (const MlBreak& p : k.pairs) {
          emitPoint(io, 11, p.start);
          emitPoint(io, 12, p.end);
        }
      }
      emitInt(io, 91, l.index);
      // The line's own look matters only where its flags override the leader's; DXF leaves it
      // out otherwise.
      if (r2010 && l.flags) {
        emitInt(io, 170, l.type);
        emitInt(io, 92, l.color);
        emitHandle(io, 340, l.linetype);
        emitInt(io, 171, l.weight);
        emitReal(io, 40, l.arrowSize);
        emitHandle(io, 341, l.arrow);
        emitInt(io, 93, l.flags);
      }
      emitText(io, 305, "}");
    }
    if (r2010) emitInt(io, 271, r.attachDir);
    emitText(io, 303, "}");
  }
  if (r2010) {
    emitInt(io, 272, c.textBottom);
    emitInt(io, 273, c.textTop);
  }
  emitText(io, 301, "}");

  emitHandle(io, 340, m.style);
  emitInt(io, 90, m.overrides);
  emitInt(io, 170, m.leaderType);
  emitInt(io, 91, m.lineColor);
  emitHandle(io, 341, m.linetype);
  emitInt(io, 171, m.lineWeight);
  emitInt(io, 290, m.landing);
  emitInt(io, 291, m.dogleg);
  emitReal(io, 41, m.landingDist);
  if (m.arrow) emitHandle(io, 342, m.arrow);
  emitReal(io, 42, m.arrowSize);
  emitInt(io, 172, m.contentType);
  emitHandle(io, 343, m.textStyle);
  emitInt(io, 173, m.textLeft);
  emitInt(io, 95, m.textRight);
  emitInt(io, 174, m.textAngle);
  emitInt(io, 175, m.textAlign);
  emitInt(io, 92, m.textColor);
  emitInt(io, 292, m.frame);
  if (m.blockStyle) emitHandle(io, 344, m.blockStyle);
  emitInt(io, 93, m.blockColor);
  emitPoint(io, 10, m.blockScale);
  emitReal(io, 43, m.blockRotation);
  emitInt(io, 176, m.blockConnection);
  emitInt(io, 293, m.annotative);
  for (const MlArrow& a : m.arrows) {
    emitInt(io, 94, a.isDefault);
    emitHandle(io, 345, a.arrow);
  }
  for (const MlLabel& l : m.labels) {
    emitHandle(io, 330, l.attdef);
    emitInt(io, 177, l.uiIndex);
    emitReal(io, 44, l.width);
    emitText(io, 302, l.text);
  }
  emitInt(io, 294, m.negTextDir);
  emitInt(io, 178, m.ipeAlign);
  emitInt(io, 179, m.justification);
  emitReal(io, 45, m.scaleFactor);
  if (r2010) {
    emitInt(io, 271, m.attachDir);
    emitInt(io, 272, m.attachBottom);
    emitInt(io, 273, m.attachTop);
  }
  if (io.since(V::R2013)) emitInt(io, 295, m.textExtended);
}

namespace {

Handle handleOf(const Tag& t) {
  if (t.kind == engine::ValueKind::String) return std::strtoull(t.s.c_str(), nullptr, 16);
  return Handle(t.i);
}

// Sets one coordinate of a point whose x group is `x`: `code` is x, x + 10 or x + 20.
void setCoord(Point3& p, int x, int code, double v) {
  if (code == x) p.x = v;
  else if (code == x + 10) p.y = v;
  else p.z = v;
}

// The x group of the point a group belongs to (0: not a point group).
int pointX(int code) {
  if (code >= 10 && code <= 39) return 10 + code % 10;
  if (code >= 110 && code <= 139) return 110 + code % 10;
  return 0;
}

}  // namespace

MLeader parseMLeader(const Tags& body) {
  MLeader m;
  MlContext& c = m.ctx;
  const auto fromTo = subclassRange(body, "AcDbMLeader");
  size_t from = fromTo.first, to = fromTo.second;
  enum class In { Entity, Context, Root, Line } in = In::Entity;
  bool rootDirection = false;  // the root's first 11 is its direction; later ones start breaks
  bool textColorSeen = false;
  for (size_t i = from; i < to; ++i) {
    const Tag& t = body[i];
    const int code = t.code;
    const double d = engine::asDouble(t);
    const int64_t n = t.kind == engine::ValueKind::String ? std::atoll(t.s.c_str()) : engine::asInt(t);
    const int x = pointX(code);
    switch (in) {
      case In::Entity:
        if (code == 300) { in = In::Context; continue; }
        switch (code) {
          case 270: m.version = int16_t(n); break;
          case 340: m.style = handleOf(t); break;
          case 90: m.overrides = int32_t(n); break;
          case 170: m.leaderType = int16_t(n); break;
          case 91: m.lineColor = int32_t(n); break;
          case 341: m.linetype = handleOf(t); break;
          case 171: m.lineWeight = int32_t(n); break;
          case 290: m.landing = n != 0; break;
          case 291: m.dogleg = n != 0; break;
          case 41: m.landingDist = d; break;
          case 342: m.arrow = handleOf(t); break;
          case 42: m.arrowSize = d; break;
          case 172: m.contentType = int16_t(n); break;
          case 343: m.textStyle = handleOf(t); break;
          case 173: m.textLeft = int16_t(n); break;
          case 95: m.textRight = int16_t(n); break;
          case 174: m.textAngle = int16_t(n); break;
          case 175: m.textAlign = int16_t(n); break;
          case 92:
            // The first one: a body read from a file ends with the graphics size as another 92.
            if (!textColorSeen) m.textColor = int32_t(n);
            textColorSeen = true;
            break;
          case 292: m.frame = n != 0; break;
          case 344: m.blockStyle = handleOf(t); break;
          case 93: m.blockColor = int32_t(n); break;
          case 10: case 20: case 30: setCoord(m.blockScale, 10, code, d); break;
          case 43: m.blockRotation = d; break;
          case 176: m.blockConnection = int16_t(n); break;
          case 293: m.annotative = n != 0; break;
          case 94: m.arrows.emplace_back(); m.arrows.back().isDefault = n != 0; break;
          case 345:
            if (m.arrows.empty()) m.arrows.emplace_back();
            m.arrows.back().arrow = handleOf(t);
            break;
          case 330: m.labels.emplace_back(); m.labels.back().attdef = handleOf(t); break;
          case 177: if (!m.labels.empty()) m.labels.back().uiIndex = int16_t(n); break;
          case 44: if (!m.labels.empty()) m.labels.back().width = d; break;
          case 302: if (!m.labels.empty()) m.labels.back().text = t.s; break;
          case 294: m.negTextDir = n != 0; break;
          case 178: m.ipeAlign = int16_t(n); break;
          case 179: m.justification = int16_t(n); break;
          case 45: m.scaleFactor = d; break;
          case 271: m.attachDir = int16_t(n); break;
          case 272: m.attachBottom = int16_t(n); break;
          case 273: m.attachTop = int16_t(n); break;
          case 295: m.textExtended = n != 0; break;
          default: break;
        }
        break;
      case In::Context: {
        if (code == 301) { in = In::Entity; continue; }
        if (code == 302) {
          c.roots.emplace_back();
          in = In::Root;
          rootDirection = false;
          continue;
        }
        MlText& tx = c.text;
        MlBlock& bk = c.block;
        switch (x) {
          case 10: setCoord(c.contentBase, 10, code, d); continue;
          case 11: setCoord(tx.normal, 11, code, d); continue;
          case 12: setCoord(tx.location, 12, code, d); continue;
          case 13: setCoord(tx.direction, 13, code, d); continue;
          case 14: setCoord(bk.normal, 14, code, d); continue;
          case 15: setCoord(bk.location, 15, code, d); continue;
          case 16: setCoord(bk.scale, 16, code, d); continue;
          case 110: setCoord(c.base, 110, code, d); continue;
          case 111: setCoord(c.baseDir, 111, code, d); continue;
          case 112: setCoord(c.baseVert, 112, code, d); continue;
          default: break;
        }
        switch (code) {
          case 40: c.scale = d; break;
          case 41: c.textHeight = d; break;
          case 140: c.arrowSize = d; break;
          case 145: c.landingGap = d; break;
          case 174: c.textLeft = int16_t(n); break;
          case 175: c.textRight = int16_t(n); break;
          case 176: c.textAlign = int16_t(n); break;
          case 177: c.attachType = int16_t(n); break;
          case 290: c.hasText = n != 0; break;
          case 304: tx.label = t.s; break;
          case 340: tx.style = handleOf(t); break;
          case 42: tx.rotation = d; break;
          case 43: tx.width = d; break;
          case 44: tx.height = d; break;
          case 45: tx.spacingFactor = d; break;
          case 170: tx.spacingStyle = int16_t(n); break;
          case 90: tx.color = int32_t(n); break;
          case 171: tx.alignment = int16_t(n); break;
          case 172: tx.flow = int16_t(n); break;
          case 91: tx.bgColor = int32_t(n); break;
          case 141: tx.bgScale = d; break;
          case 92: tx.bgTransparency = int32_t(n); break;
          case 291: tx.bgFill = n != 0; break;
          case 292: tx.bgMask = n != 0; break;
          case 173: tx.columnType = int16_t(n); break;
          case 293: tx.autoHeight = n != 0; break;
          case 142: tx.columnWidth = d; break;
          case 143: tx.gutter = d; break;
          case 294: tx.flowReversed = n != 0; break;
          case 144: tx.columnSizes.push_back(d); break;
          case 295: tx.wordBreak = n != 0; break;
          case 296: c.hasBlock = n != 0; break;
          case 341: bk.block = handleOf(t); break;
          case 46: bk.rotation = d; break;
          case 93: bk.color = int32_t(n); break;
          case 47: {
            // The 16 values of the block's transform, in order.
            size_t k = 0;
            while (k < 16 && i + k < to && body[i + k].code == 47) {
              bk.matrix[k] = engine::asDouble(body[i + k]);
              ++k;
            }
            i += k - 1;
            break;
          }
          case 297: c.normalReversed = n != 0; break;
          case 272: c.textBottom = int16_t(n); break;
          case 273: c.textTop = int16_t(n); break;
          default: break;
        }
        break;
      }
      case In::Root: {
        MlRoot& r = c.roots.back();
        if (code == 303) { in = In::Context; continue; }
        if (code == 304) {
          r.lines.emplace_back();
          in = In::Line;
          continue;
        }
        switch (code) {
          case 290: r.valid = n != 0; break;
          case 291: r.unknown = n != 0; break;
          case 10: case 20: case 30: setCoord(r.connection, 10, code, d); break;
          case 11:
            if (rootDirection) r.breaks.emplace_back();
            rootDirection = true;
            [[fallthrough]];
          case 21: case 31:
            if (r.breaks.empty()) setCoord(r.direction, 11, code, d);
            else setCoord(r.breaks.back().start, 11, code, d);
            break;
          case 12: case 22: case 32:
            if (!r.breaks.empty()) setCoord(r.breaks.back().end, 12, code, d);
            break;
          case 90: r.index = int32_t(n); break;
          case 40: r.landing = d; break;
          case 271: r.attachDir = int16_t(n); break;
          default: break;
        }
        break;
      }
      case In::Line: {
        MlLine& l = c.roots.back().lines.back();
        if (code == 305) { in = In::Root; continue; }
        switch (code) {
          case 10: l.points.emplace_back(); [[fallthrough]];
          case 20: case 30:
            if (!l.points.empty()) setCoord(l.points.back(), 10, code, d);
            break;
          case 90: l.breaks.emplace_back(); l.breaks.back().segment = int32_t(n); break;
          case 11:
            if (l.breaks.empty()) l.breaks.emplace_back();
            l.breaks.back().pairs.emplace_back();
            [[fallthrough]];
          case 21: case 31:
            if (!l.breaks.empty() && !l.breaks.back().pairs.empty()) setCoord(l.breaks.back().pairs.back().start, 11, code, d);
            break;
          case 12: case 22: case 32:
            if (!l.breaks.empty() && !l.breaks.back().pairs.empty()) setCoord(l.breaks.back().pairs.back().end, 12, code, d);
            break;
          case 91: l.index = int32_t(n); break;
          case 170: l.type = int16_t(n); break;
          case 92: l.color = int32_t(n); break;
          case 340: l.linetype = handleOf(t); break;
          case 171: l.weight = int32_t(n); break;
          case 40: l.arrowSize = d; break;
          case 341: l.arrow = handleOf(t); break;
          case 93: l.flags = int32_t(n); break;
          default: break;
        }
        break;
      }
    }
  }
  // A block's content has no text and the reverse: the file stores one or the other.
  if (c.hasText) c.hasBlock = false;
  return m;
}

}  // namespace types

namespace {

using namespace types;

// Pushes an MLeader's values in stored order for the writer (the preparation side of
// mleaderFields).
struct MLeaderPusher {
  ObjectWriter& w;
  bool since(V v) const { return w.since(v); }
  bool until(V v) const { return w.until(v); }
  bool ok() const { return true; }
  void b(bool& v) { w.pushInt(v ? 1 : 0); }
  void bs(int16_t& v) { w.pushInt(v); }
  void bl(int32_t& v) { w.pushInt(v); }
  void bd(double& v) { w.pushReal(v); }
  void p3(Point3& v) {
    w.pushReal(v.x);
    w.pushReal(v.y);
    w.pushReal(v.z);
  }
  void t(std::string& v) { w.pushText(v); }
  void h(Handle& v, HK) { w.pushHandle(v); }
  void color(int32_t& v) {
    w.pushInt(colorIndexOfWord(v));
    w.pushInt(v);
    w.pushInt(0);  // no colour or book name
  }
  template <class T>
  bool count(std::vector<T>& v, size_t) {
    w.pushInt(int64_t(v.size()));
    return true;
  }
};

void prepMULTILEADER(const PrepInput& in, ObjectWriter& w) {
  MLeader m = parseMLeader(in.body);
  MLeaderPusher p{w};
  mleaderFields(p, m);
}

void pushColorWord(const Tags& b, int code, ObjectWriter& w) {
  int32_t word = int32_t(intOf(b, code, kColorByBlock));
  w.pushInt(colorIndexOfWord(word));
  w.pushInt(word);
  w.pushInt(0);
}

void prepMLEADERSTYLE(const PrepInput& in, ObjectWriter& w) {
  const Tags& b = in.body;
  w.pushInt(intOf(b, 179, 2));
  pushColorWord(b, 91, w);
  pushColorWord(b, 93, w);
  pushColorWord(b, 94, w);
  w.pushInt(intOf(b, 273, 9));
}

void prepLEADER(const PrepInput& in, ObjectWriter& w) {
  const Tags& b = in.body;
  const auto fromTo = subclassRange(b, "AcDbLeader");
  size_t from = fromTo.first, to = fromTo.second;
  size_t points = 0;
  Point3 first;
  for (size_t i = from; i < to; ++i) {
    if (b[i].code != 10) continue;
    if (points++ == 0) {
      first.x = engine::asDouble(b[i]);
      if (i + 1 < to && b[i + 1].code == 20) first.y = engine::asDouble(b[i + 1]);
      if (i + 2 < to && b[i + 2].code == 30) first.z = engine::asDouble(b[i + 2]);
    }
  }
  w.pushInt(0);  // unknown bit
  w.pushInt(intOf(b, 73, 3));
  w.pushInt(int64_t(points));
  // The origin has no DXF group: the leader's first vertex stands in for it, as in the files.
  w.pushReal(first.x);
  w.pushReal(first.y);
  w.pushReal(first.z);
  w.pushReal(realOf(b, 211, 1.0));
  w.pushReal(realOf(b, 221, 0.0));
  w.pushReal(realOf(b, 231, 0.0));
  w.pushInt(intOf(b, 71, 1) ? 1 : 0);
  w.pushInt(0);  // arrowhead type: the dimension style's
  w.pushInt(0);  // the two flags of unknown meaning
  w.pushInt(0);
}

const FamilyType kLeaderFamily[] = {
    {45, "LEADER", "LEADER", RecordKind::Entity, &visitLEADER<ObjectReader>, &visitLEADER<ObjectWriter>, prepLEADER,
     "AcDbLeader", {}},
    {0, "MLEADERSTYLE", "MLEADERSTYLE", RecordKind::Object, &visitMLEADERSTYLE<ObjectReader>,
     &visitMLEADERSTYLE<ObjectWriter>, prepMLEADERSTYLE, "AcDbMLeaderStyle", {}},
    {0, "MULTILEADER", "MULTILEADER", RecordKind::Entity, &visitMULTILEADER<ObjectReader>,
     &visitMULTILEADER<ObjectWriter>, prepMULTILEADER, "AcDbMLeader", {}},
};

}  // namespace

std::span<const FamilyType> leaderFamily() { return kLeaderFamily; }

}  // namespace kel::dwg
