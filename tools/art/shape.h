// Lettering drawn as thick strokes: each letter is a set of centre lines (polylines whose
// corners are rounded) swept by a round pen and cut square by the letter's box. The shape is
// kept as a signed distance (negative inside), which makes outlines, bevels and shadows a
// matter of looking at the distance and its slope.
#pragma once

#include <vector>

namespace art {

struct Vec2 {
    double x = 0;
    double y = 0;
};

inline Vec2 operator+(Vec2 a, Vec2 b) { return {a.x + b.x, a.y + b.y}; }
inline Vec2 operator-(Vec2 a, Vec2 b) { return {a.x - b.x, a.y - b.y}; }
inline Vec2 operator*(Vec2 a, double s) { return {a.x * s, a.y * s}; }

struct Box {
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
};

// One stroked letter. Coordinates are in pixels of the finished picture.
class StrokeShape {
  public:
    StrokeShape(double penRadius, Box clip) : penRadius_(penRadius), clip_(clip) {}

    // Adds a polyline whose interior corners are rounded with the given radius (0 for sharp
    // corners; the pen still rounds the outside).
    void AddPath(const std::vector<Vec2>& corners, double cornerRadius);

    // Signed distance in pixels from p to the letter's edge; negative inside.
    double Distance(Vec2 p) const;

    const Box& clip() const { return clip_; }

  private:
    struct Segment {
        Vec2 a;
        Vec2 b;
    };
    double penRadius_;
    Box clip_;
    std::vector<Segment> segments_;
};

// A set of letters with an optional italic slant: points are unslanted about the baseline
// before the letters are asked, so the letters are designed upright.
class Lettering {
  public:
    Lettering(double slant, double baseline) : slant_(slant), baseline_(baseline) {}
    void Add(StrokeShape shape) { shapes_.push_back(std::move(shape)); }
    double Distance(Vec2 p) const;
    // The outward direction of the edge nearest to p (unit length, or zero on a flat spot).
    Vec2 Normal(Vec2 p) const;

  private:
    double slant_;
    double baseline_;
    std::vector<StrokeShape> shapes_;
};

}  // namespace art
