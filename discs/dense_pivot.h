#pragma once
// The pivot step of the revised simplex methods of the planner, whose basis inverses are dense.

#include <cstddef>
#include <vector>

/// Brings a column into the basis at row `leave`: `inverse` (rows × rows, row-major) and the
/// basic solution `x` are divided at that row by the pivot, and the other rows lose `d` (the
/// inverse times the entering column) times it.
inline void PivotDense(std::vector<double>& inverse, std::vector<double>& x, const std::vector<double>& d, int leave) {
  const std::size_t m = x.size();
  double* const pivotRow = &inverse[static_cast<std::size_t>(leave) * m];
  const double pivot = d[leave];
  for (std::size_t i = 0; i < m; ++i) pivotRow[i] /= pivot;
  x[leave] /= pivot;
  for (std::size_t r = 0; r < m; ++r) {
    const double factor = d[r];
    if (static_cast<int>(r) == leave || factor == 0) continue;
    double* const row = &inverse[r * m];
    for (std::size_t i = 0; i < m; ++i) row[i] -= factor * pivotRow[i];
    x[r] -= factor * x[leave];
  }
}
