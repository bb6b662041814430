#ifndef ZOOMSCALE_H
#define ZOOMSCALE_H

// The zoom of a document, its key "ZoomScale" (1.0 is actual size), as the view applies it and
// the window's zoom commands write it.
namespace ZoomScale {

inline constexpr double Minimum = 0.25;
inline constexpr double Maximum = 8.0;

// The scale a stored value stands for: one that is not finite or not above 0 (also an absent
// value, which reads as 0) means actual size, 1.0; others are clamped to Minimum ... Maximum.
double effective(double stored);

} // namespace ZoomScale

#endif // ZOOMSCALE_H
