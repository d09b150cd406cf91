#include "colour/numeric.h"

#include <cmath>

namespace tnt {

double MapLinear(double x0, double y0, double x1, double y1, double x) {
    if (std::fabs(x1 - x0) <= 1.2e-7) return x;
    return y0 + (y1 - y0) / (x1 - x0) * (x - x0);
}

TntStatus InvertMatrix3x3(const double m[9], double out[9]) {
    double a[9];
    double magnitude = 0.0;
    for (int i = 0; i < 9; ++i) {
        a[i] = m[i];
        magnitude += std::fabs(a[i]);
    }
    const double c00 = a[4] * a[8] - a[5] * a[7];
    const double c01 = a[5] * a[6] - a[3] * a[8];
    const double c02 = a[3] * a[7] - a[4] * a[6];
    const double det = a[0] * c00 + a[1] * c01 + a[2] * c02;
    // The bound grows with the elements but the determinant with their cube,
    // so a matrix of tiny elements counts as singular.
    if (std::fabs(det) < magnitude * 1.333333333333333e-7) return TNT_ERR_SINGULAR_MATRIX;
    out[0] = c00 / det;
    out[1] = (a[2] * a[7] - a[1] * a[8]) / det;
    out[2] = (a[1] * a[5] - a[2] * a[4]) / det;
    out[3] = c01 / det;
    out[4] = (a[0] * a[8] - a[2] * a[6]) / det;
    out[5] = (a[2] * a[3] - a[0] * a[5]) / det;
    out[6] = c02 / det;
    out[7] = (a[1] * a[6] - a[0] * a[7]) / det;
    out[8] = (a[0] * a[4] - a[1] * a[3]) / det;
    return TNT_OK;
}

void MatrixTimesVector(int n, const double* matrix, const double* vector, double* out) {
    if (n <= 0 || n > 32) return;
    double sum[32];
    for (int r = 0; r < n; ++r) {
        double s = 0.0;
        for (int k = 0; k < n; ++k) s += matrix[r * n + k] * vector[k];
        sum[r] = s;
    }
    for (int r = 0; r < n; ++r) out[r] = sum[r];
}

void DivideVectors(int n, const double* a, const double* b, double* out) {
    for (int i = 0; i < n; ++i) out[i] = b[i] == 0.0 ? 3.4e38 : a[i] / b[i];
}

void MultiplyVectors(int n, const double* a, const double* b, double* out) {
    for (int i = 0; i < n; ++i) out[i] = a[i] * b[i];
}

void CopyVector(int n, const double* source, double* destination) {
    for (int i = 0; i < n; ++i) destination[i] = source[i];
}

void CopyMatrix(int n, const double* source, double* destination) {
    // No buffer holds more than 46340 x 46340 doubles; the guard keeps n * n
    // from overflowing.
    if (n <= 0 || n > 46340) return;
    CopyVector(n * n, source, destination);
}

uint16_t FindInterval(int n, const double* table, double x) {
    if (n <= 0) return 0;
    if (x <= table[0]) return 0;
    if (x > table[n - 1]) return static_cast<uint16_t>(n - 1);
    int lo = 0;
    int hi = n - 1;
    while (lo + 1 < hi) {
        const int mid = (lo + hi) / 2;
        if (table[mid] <= x) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    return static_cast<uint16_t>(lo);
}

void ScaleByWhiteRatio(const double fromWhite[3], const double value[3], const double toWhite[3],
                       double out[3]) {
    for (int i = 0; i < 3; ++i) out[i] = toWhite[i] / fromWhite[i] * value[i];
}

}  // namespace tnt
