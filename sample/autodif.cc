// Sample autodif module shipped with the setup program's sources.  The
// package's real module builds higher derivatives symbolically; this small
// stand-in only gives the Full installation something real to compile:
// forward-mode automatic differentiation of first order with dual numbers.
#include <cmath>

namespace autodif {

struct Dual {
    double value;
    double slope;
};

Dual operator+(Dual a, Dual b) { return {a.value + b.value, a.slope + b.slope}; }
Dual operator-(Dual a, Dual b) { return {a.value - b.value, a.slope - b.slope}; }
Dual operator*(Dual a, Dual b) { return {a.value * b.value, a.slope * b.value + a.value * b.slope}; }
Dual operator/(Dual a, Dual b)
{
    return {a.value / b.value, (a.slope * b.value - a.value * b.slope) / (b.value * b.value)};
}
Dual sin(Dual a) { return {std::sin(a.value), a.slope * std::cos(a.value)}; }
Dual cos(Dual a) { return {std::cos(a.value), -a.slope * std::sin(a.value)}; }
Dual exp(Dual a) { return {std::exp(a.value), a.slope * std::exp(a.value)}; }

} // namespace autodif

// The derivative of f at x, for C callers.
extern "C" double autodif_derivative(autodif::Dual (*f)(autodif::Dual), double x)
{
    return f({x, 1.0}).slope;
}
