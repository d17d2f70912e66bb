#include "engine/dwg/spline_fit.h"

#include <cmath>

namespace kel::dwg {
namespace {

Point3 operator-(Point3 a, Point3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Point3 operator+(Point3 a, Point3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Point3 operator*(double s, Point3 a) { return {s * a.x, s * a.y, s * a.z}; }
double length(Point3 a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }

// The four non-zero cubic basis functions at u in knot span `span`.
void basis(const std::vector<double>& U, size_t span, double u, double N[4]) {
  double left[4], right[4];
  N[0] = 1.0;
  for (int j = 1; j <= 3; ++j) {
    left[j] = u - U[span + 1 - size_t(j)];
    right[j] = U[span + size_t(j)] - u;
    double saved = 0.0;
    for (int r = 0; r < j; ++r) {
      double den = right[r + 1] + left[j - r];
      double t = den != 0 ? N[r] / den : 0.0;
      N[r] = saved + right[r + 1] * t;
      saved = left[j - r] * t;
    }
    N[j] = saved;
  }
}

}  // namespace

bool splineThroughFitPoints(const std::vector<Point3>& q, Point3 t0, Point3 t1, SplineCurve& out) {
  out = SplineCurve{};
  if (q.size() < 2) return false;
  const size_t n = q.size() - 1;
  std::vector<double> u(n + 1, 0.0);
  for (size_t k = 1; k <= n; ++k) {
    double h = length(q[k] - q[k - 1]);
    if (!(h > 0) || !std::isfinite(h)) return false;
    u[k] = u[k - 1] + h;
  }
  std::vector<double>& U = out.knots;
  U.assign(4, 0.0);
  for (size_t k = 1; k < n; ++k) U.push_back(u[k]);
  U.insert(U.end(), 4, u[n]);

  // Unknowns P[1] .. P[n+1] (P[0] and P[n+2] are the end points), one tridiagonal row each:
  // the start condition, the interior fit points on the curve at their parameters, the end
  // condition. A given end tangent fixes the neighbouring control point; without one the
  // curve's second derivative vanishes there (the end is "natural").
  const size_t m = n + 1;
  std::vector<double> a(m, 0.0), b(m, 0.0), c(m, 0.0);
  std::vector<Point3> r(m);
  if (length(t0) > 0) {
    b[0] = 1;
    r[0] = q[0] + ((u[1] - u[0]) / 3.0) * ((1.0 / length(t0)) * t0);
  } else {
    const double h0 = U[4] - U[1], h1 = U[5] - U[2];
    b[0] = -(1 / h0 + 1 / h1);
    c[0] = 1 / h1;
    r[0] = (-1 / h0) * q[0];
  }
  for (size_t k = 1; k < n; ++k) {
    double N[4];
    basis(U, k + 3, u[k], N);  // non-zero: P[k], P[k+1], P[k+2]
    a[k] = N[0];
    b[k] = N[1];
    c[k] = N[2];
    r[k] = q[k];
  }
  if (length(t1) > 0) {
    b[n] = 1;
    r[n] = q[n] - ((u[n] - u[n - 1]) / 3.0) * ((1.0 / length(t1)) * t1);
  } else {
    const double h0 = U[n + 4] - U[n + 1], h1 = U[n + 5] - U[n + 2];
    a[n] = 1 / h0;
    b[n] = -(1 / h0 + 1 / h1);
    r[n] = (-1 / h1) * q[n];
  }
  for (size_t i = 1; i < m; ++i) {
    if (b[i - 1] == 0) return out = SplineCurve{}, false;
    double w = a[i] / b[i - 1];
    b[i] -= w * c[i - 1];
    r[i] = r[i] - w * r[i - 1];
  }
  if (b[m - 1] == 0) return out = SplineCurve{}, false;
  std::vector<Point3>& P = out.control;
  P.assign(n + 3, Point3{});
  P[0] = q[0];
  P[n + 2] = q[n];
  P[m] = (1.0 / b[m - 1]) * r[m - 1];
  for (size_t i = m - 1; i-- > 0;) P[i + 1] = (1.0 / b[i]) * (r[i] - c[i] * P[i + 2]);
  return true;
}

}  // namespace kel::dwg
