#include "ZoomScale.h"

#include <algorithm>
#include <cmath>

namespace ZoomScale {

double effective(double stored)
{
    if (!std::isfinite(stored) || stored <= 0.0)
        return 1.0;
    return std::clamp(stored, Minimum, Maximum);
}

} // namespace ZoomScale
