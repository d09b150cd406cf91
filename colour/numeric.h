// Small numeric routines shared by the conversion engine, the stages and the
// matching pipeline. All work on caller storage or fixed local buffers.
#pragma once

#include <cstdint>

#include "tintwell.h"

namespace tnt {

// The line through (x0, y0) and (x1, y1) at x, extrapolating outside
// [x0, x1]. A degenerate interval (|x1 - x0| <= 1.2e-7) returns x itself.
double MapLinear(double x0, double y0, double x1, double y1, double x);

// Row-major 3x3 inverse by cofactors; `out` may be `m`. A near-singular
// matrix gives TNT_ERR_SINGULAR_MATRIX and leaves `out` untouched.
TntStatus InvertMatrix3x3(const double m[9], double out[9]);

// out = matrix * vector for an n x n row-major matrix, 0 < n <= 32; `out`
// may be `vector`. Other n do nothing.
void MatrixTimesVector(int n, const double* matrix, const double* vector, double* out);

// MatrixTimesVector for n = 3, the same sums in the same order, for callers
// that run it per colour.
inline void MatrixTimesVector3(const double* matrix, const double* vector, double* out) {
    double sum[3];
    for (int r = 0; r < 3; ++r) {
        double s = 0.0;
        s += matrix[3 * r] * vector[0];
        s += matrix[3 * r + 1] * vector[1];
        s += matrix[3 * r + 2] * vector[2];
        sum[r] = s;
    }
    out[0] = sum[0];
    out[1] = sum[1];
    out[2] = sum[2];
}

// Componentwise a / b; a zero divisor gives 3.4e38.
void DivideVectors(int n, const double* a, const double* b, double* out);
void MultiplyVectors(int n, const double* a, const double* b, double* out);

void CopyVector(int n, const double* source, double* destination);
// Copies n * n doubles.
void CopyMatrix(int n, const double* source, double* destination);

// Index i of an ascending table with table[i] <= x < table[i + 1]; 0 below
// the table, n - 1 above it, n - 2 at its last entry.
uint16_t FindInterval(int n, const double* table, double x);

// Moves an XYZ colour from one white to another: out = toWhite / fromWhite
// * value, componentwise; `out` may be `value`.
void ScaleByWhiteRatio(const double fromWhite[3], const double value[3], const double toWhite[3],
                       double out[3]);

}  // namespace tnt
