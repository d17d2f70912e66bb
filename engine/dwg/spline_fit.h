// The cubic B-spline through a spline's fit points, as DXF gives it next to the fit data.
//
// A DWG spline defined by fit points stores only those points and the end tangents; DXF readers
// expect the control polygon and knots as well. The curve is the standard global interpolation:
// parameters by chord length (not normalised: the knots run from 0 to the polygon's length, so
// a unit end tangent is the end derivative), clamped knots, end derivatives fixed.
#pragma once
#include <vector>

#include "engine/dwg/bits.h"

namespace kel::dwg {

struct SplineCurve {
  std::vector<double> knots;
  std::vector<Point3> control;
};

// False (and an empty curve) when the points do not define one: fewer than two, or two
// neighbours that coincide. At an end without a tangent (zero) the curve ends "naturally".
bool splineThroughFitPoints(const std::vector<Point3>& fit, Point3 startTangent, Point3 endTangent, SplineCurve& out);

}  // namespace kel::dwg
