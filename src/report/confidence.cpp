#include "report/confidence.h"

#include <algorithm>
#include <cmath>

namespace lumtra {

namespace {

// Continued fraction of the regularized incomplete beta function (modified
// Lentz method).
double beta_fraction(double a, double b, double x) {
  const double tiny = 1e-300;
  double c = 1.0, d = 1.0 - (a + b) * x / (a + 1.0);
  if (std::fabs(d) < tiny) d = tiny;
  d = 1.0 / d;
  double h = d;
  for (int m = 1; m <= 300; ++m) {
    const double m2 = 2.0 * m;
    double aa = m * (b - m) * x / ((a + m2 - 1.0) * (a + m2));
    d = 1.0 + aa * d;
    if (std::fabs(d) < tiny) d = tiny;
    c = 1.0 + aa / c;
    if (std::fabs(c) < tiny) c = tiny;
    d = 1.0 / d;
    h *= d * c;
    aa = -(a + m) * (a + b + m) * x / ((a + m2) * (a + m2 + 1.0));
    d = 1.0 + aa * d;
    if (std::fabs(d) < tiny) d = tiny;
    c = 1.0 + aa / c;
    if (std::fabs(c) < tiny) c = tiny;
    d = 1.0 / d;
    const double step = d * c;
    h *= step;
    if (std::fabs(step - 1.0) < 1e-15) break;
  }
  return h;
}

double incomplete_beta(double a, double b, double x) {
  if (x <= 0.0) return 0.0;
  if (x >= 1.0) return 1.0;
  const double front =
      std::exp(std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) + a * std::log(x) + b * std::log1p(-x));
  if (x < (a + 1.0) / (a + b + 2.0)) return front * beta_fraction(a, b, x) / a;
  return 1.0 - front * beta_fraction(b, a, 1.0 - x) / b;
}

// P(T <= t) for t >= 0.
double t_cdf(double t, double df) { return 1.0 - 0.5 * incomplete_beta(df / 2.0, 0.5, df / (df + t * t)); }

}  // namespace

double student_t_quantile(double p, double df) {
  double lo = 0.0, hi = 1.0;
  while (t_cdf(hi, df) < p) hi *= 2.0;
  for (int i = 0; i < 200 && hi - lo > 1e-12 * hi; ++i) {
    const double mid = 0.5 * (lo + hi);
    (t_cdf(mid, df) < p ? lo : hi) = mid;
  }
  return 0.5 * (lo + hi);
}

bool confidence_half_width(const RunningStats& values, double& half_width) {
  if (values.n < 2) return false;
  const double n = double(values.n);
  half_width = student_t_quantile(0.975, n - 1.0) * values.sd() / std::sqrt(n);
  return true;
}

bool ratio_interval(const RatioStats& t, double& low, double& high) {
  if (t.n < 2 || !(t.mean_a > 0.0) || !(t.mean_c > 0.0)) return false;
  const double n = double(t.n);
  const double r = t.mean_c / t.mean_a;
  // sum (c_i - R a_i)^2 from the centred sums, without cancellation of the
  // large raw sums (the uncentred term vanishes as mean(c) = R mean(a)).
  const double residual = std::max(0.0, t.scc - 2.0 * r * t.sac + r * r * t.saa);
  const double dispersion = std::max(1.0 - r, residual / ((n - 1.0) * r * t.mean_a));
  const double q = std::pow(student_t_quantile(0.975, n - 1.0), 2) * dispersion;
  const double a = n * t.mean_a, c = n * t.mean_c;
  // The roots of r^2 A^2 - r (2C + q) A + C^2; their product is R^2.
  high = std::min(1.0, (2.0 * c + q + std::sqrt(q * (4.0 * c + q))) / (2.0 * a));
  low = r * r / ((2.0 * c + q + std::sqrt(q * (4.0 * c + q))) / (2.0 * a));
  return true;
}

double zero_count_upper_bound(double trials) {
  if (!(trials > 0.0)) return 1.0;
  return -std::expm1(std::log(0.05) / trials);
}

}  // namespace lumtra
