// A generated drawing for the DXF and DWG benchmarks: n entities of mixed types (lines, circles,
// arcs, texts, light polylines, multiline texts, 3D faces) over seven layers in model space, with
// coordinates that need many digits.
#pragma once
#include <cmath>
#include <string>

#include "engine/io.h"
#include "engine/model/drawing.h"
#include "engine/model/entities.h"

namespace kel::bench {

namespace ke = kel::engine;

inline ke::DrawingPtr generate(size_t n) {
  ke::DrawingPtr d = ke::newDrawing(true);
  ke::Handle ms = d->table("BLOCK_RECORD")->entries.front().handle;
  for (size_t i = 0; i < n; ++i) {
    const double x = double(i % 1000) * 1.37, y = double(i / 1000) * 2.11;
    ke::EntityCommon c;
    c.layer = "L" + std::to_string(i % 7);
    switch (i % 7) {
      case 0: {
        ke::Line l;
        l.common = c;
        l.start = {x, y, 0};
        l.end = {x + 3.25, y + 1.0 / 3.0, 0};
        ke::addEntity(*d, d->entities, ms, l);
        break;
      }
      case 1: {
        ke::Circle ci;
        ci.common = c;
        ci.center = {x, y, 0};
        ci.radius = 0.5 + double(i % 13) / 7.0;
        ke::addEntity(*d, d->entities, ms, ci);
        break;
      }
      case 2: {
        ke::Arc a;
        a.common = c;
        a.center = {x, y, 0};
        a.startAngle = double(i % 360);
        a.endAngle = std::fmod(a.startAngle + 123.456, 360.0);
        ke::addEntity(*d, d->entities, ms, a);
        break;
      }
      case 3: {
        ke::Text t;
        t.common = c;
        t.position = {x, y, 0};
        t.text = "Room " + std::to_string(i);
        ke::addEntity(*d, d->entities, ms, t);
        break;
      }
      case 4: {
        ke::LwPolyline p;
        p.common = c;
        for (int k = 0; k < 6; ++k) p.vertices.push_back({x + k, y + (k % 2) * 0.7, 0, 0, k == 2 ? 0.25 : 0});
        ke::addEntity(*d, d->entities, ms, p);
        break;
      }
      case 5: {
        ke::MText m;
        m.common = c;
        m.position = {x, y, 0};
        m.text = "{\\fArial|b1;Note} " + std::to_string(i) + "\\Psecond line";
        ke::addEntity(*d, d->entities, ms, m);
        break;
      }
      default: {
        ke::Face f;
        f.type = "3DFACE";
        f.common = c;
        for (int k = 0; k < 4; ++k) f.corner[k] = {x + (k & 1), y + (k >> 1), 0.1 * k};
        ke::addEntity(*d, d->entities, ms, f);
        break;
      }
    }
  }
  return d;
}

}  // namespace kel::bench
