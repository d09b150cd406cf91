#include "colour/power.h"

#include <cmath>

namespace tnt {

bool PreparePowerTable(double a, PowerTable* table) {
    if (!(a > 0.0 && a <= 4.0)) return false;
    table->exponent = a;
    // C(a, k) = C(a, k - 1) (a - k + 1) / k. With |r| <= 1/512 the first
    // term left out, C(a, 5) r^5, stays below 0.05 x 2^-45 for 0 < a <= 4.
    table->series[0] = 1.0;
    for (int k = 1; k < 5; ++k) table->series[k] = table->series[k - 1] * (a - (k - 1)) / k;
    for (int i = 0; i <= 256; ++i) {
        table->inverse[i] = 1.0 / (1.0 + i / 256.0);
        table->mantissa[i] = std::pow(table->inverse[i], -a);
    }
    for (int e = kPowerMinExponent; e <= kPowerMaxExponent; ++e)
        table->scale[e - kPowerMinExponent] = std::pow(2.0, e * a);
    return true;
}

}  // namespace tnt
