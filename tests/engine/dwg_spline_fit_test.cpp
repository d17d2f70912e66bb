// The cubic through a spline's fit points: the control polygon a reference writer gives for a
// corpus spline, and the defining properties on made-up points.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/dwg/spline_fit.h"

using kel::dwg::Point3;
using kel::dwg::SplineCurve;
using kel::dwg::splineThroughFitPoints;

namespace {

// The curve's point at u (de Boor).
Point3 evaluate(const SplineCurve& c, double u) {
  const auto& U = c.knots;
  size_t span = 3;
  while (span + 1 < c.control.size() && U[span + 1] <= u) ++span;
  Point3 d[4];
  for (int j = 0; j < 4; ++j) d[j] = c.control[span - 3 + size_t(j)];
  for (int r = 1; r <= 3; ++r)
    for (int j = 3; j >= r; --j) {
      size_t i = span - 3 + size_t(j);
      double den = U[i + 4 - size_t(r)] - U[i];
      double a = den ? (u - U[i]) / den : 0;
      d[j] = {(1 - a) * d[j - 1].x + a * d[j].x, (1 - a) * d[j - 1].y + a * d[j].y, (1 - a) * d[j - 1].z + a * d[j].z};
    }
  return d[3];
}

double dist(Point3 a, Point3 b) { return std::hypot(a.x - b.x, a.y - b.y, a.z - b.z); }

}  // namespace

TEST(SplineFit, MatchesTheReferenceControlPolygonWithGivenTangents) {
  // A fit-point spline of the corpus drawing "example" and the polygon its reference DXF gives.
  const std::vector<Point3> fit = {{-1160.70828949499, 1466.29959801825, 0},  {-803.2584206390579, 1216.773557430618, 0},
                                   {-1263.536333621469, 1021.066859620477, 0}, {-1297.812348330295, 1896.854333640411, 0},
                                   {-1493.675290112675, 1867.498328089189, 0}, {-1449.606128933269, 1436.943592467027, 0}};
  const std::vector<Point3> want = {
      {-1160.70828949499, 1466.29959801825, 0},   {-1278.733898858219, 1381.536363400083, 0},
      {-393.9544459252916, 1231.131526494542, 0}, {-1793.156271927829, 719.5692228288901, 0},
      {-936.5505143705686, 1967.430418368798, 0}, {-1656.363244849998, 1879.620298503901, 0},
      {-1444.406509911975, 1581.117926364117, 0}, {-1449.606128933269, 1436.943592467027, 0}};
  const std::vector<double> knots = {0, 0, 0, 0, 435.9284960592313, 936.0853402063389, 1812.54329403786, 2010.593961861958,
                                     2443.398157005357, 2443.398157005357, 2443.398157005357, 2443.398157005357};
  SplineCurve c;
  ASSERT_TRUE(splineThroughFitPoints(fit, {-0.8122360233169471, -0.5833289315868635, 0},
                                     {-0.0360413721468526, -0.9993502986909906, 0}, c));
  ASSERT_EQ(c.control.size(), want.size());
  ASSERT_EQ(c.knots.size(), knots.size());
  for (size_t i = 0; i < want.size(); ++i) EXPECT_LT(dist(c.control[i], want[i]), 1e-7) << i;
  for (size_t i = 0; i < knots.size(); ++i) EXPECT_NEAR(c.knots[i], knots[i], 1e-9) << i;
}

TEST(SplineFit, PassesThroughItsPointsAndEndsNaturallyWithoutTangents) {
  const std::vector<Point3> fit = {{0, 0, 0}, {3, 4, 1}, {7, 1, 2}, {12, 6, 0}, {13, 13, -2}};
  SplineCurve c;
  ASSERT_TRUE(splineThroughFitPoints(fit, {}, {}, c));
  ASSERT_EQ(c.control.size(), fit.size() + 2);
  double u = 0;
  for (size_t k = 0; k < fit.size(); ++k) {
    if (k) u += dist(fit[k], fit[k - 1]);
    EXPECT_LT(dist(evaluate(c, k + 1 == fit.size() ? u * (1 - 1e-15) : u), fit[k]), 1e-9) << k;
  }
  // Natural ends: the second differences of the end control points, weighted by their knot
  // spans, vanish.
  const auto& P = c.control;
  const auto& U = c.knots;
  auto second = [&](size_t i, size_t j) {  // (P[i+1]-P[i])/(U[i+4]-U[i+1]) - (P[j+1]-P[j])/(U[j+4]-U[j+1]), x only
    return (P[i + 1].x - P[i].x) / (U[i + 4] - U[i + 1]) - (P[j + 1].x - P[j].x) / (U[j + 4] - U[j + 1]);
  };
  EXPECT_NEAR(second(1, 0), 0, 1e-12);
  const size_t last = P.size() - 2;
  EXPECT_NEAR(second(last, last - 1), 0, 1e-12);
}

TEST(SplineFit, EdgeCases) {
  SplineCurve c;
  // Two points, no tangents: the straight line, control points at the thirds.
  ASSERT_TRUE(splineThroughFitPoints({{0, 0, 0}, {3, 0, 0}}, {}, {}, c));
  ASSERT_EQ(c.control.size(), 4u);
  for (size_t i = 0; i < 4; ++i) EXPECT_NEAR(c.control[i].x, double(i), 1e-12);
  EXPECT_EQ(c.knots, (std::vector<double>{0, 0, 0, 0, 3, 3, 3, 3}));
  // Nothing to interpolate, or two neighbours in the same place.
  EXPECT_FALSE(splineThroughFitPoints({{1, 1, 1}}, {}, {}, c));
  EXPECT_TRUE(c.control.empty());
  EXPECT_FALSE(splineThroughFitPoints({{0, 0, 0}, {1, 0, 0}, {1, 0, 0}}, {}, {}, c));
  EXPECT_FALSE(splineThroughFitPoints({{0, 0, 0}, {NAN, 0, 0}}, {}, {}, c));
}
