#include "shape.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace art {
namespace {

double Length(Vec2 v) { return std::hypot(v.x, v.y); }

double DistanceToSegment(Vec2 p, Vec2 a, Vec2 b) {
    const Vec2 ab = b - a;
    const Vec2 ap = p - a;
    const double len2 = ab.x * ab.x + ab.y * ab.y;
    const double t = len2 > 0 ? std::clamp((ap.x * ab.x + ap.y * ab.y) / len2, 0.0, 1.0) : 0.0;
    return Length(p - (a + ab * t));
}

// Signed distance to the inside of an axis-aligned box.
double BoxDistance(Vec2 p, const Box& box) {
    const double cx = (box.left + box.right) / 2;
    const double cy = (box.top + box.bottom) / 2;
    const double dx = std::abs(p.x - cx) - (box.right - box.left) / 2;
    const double dy = std::abs(p.y - cy) - (box.bottom - box.top) / 2;
    const double outside = Length({std::max(dx, 0.0), std::max(dy, 0.0)});
    return outside + std::min(std::max(dx, dy), 0.0);
}

}  // namespace

void StrokeShape::AddPath(const std::vector<Vec2>& corners, double cornerRadius) {
    if (corners.size() < 2) return;
    // Each interior corner becomes a quadratic curve from the point cornerRadius before it to
    // the point cornerRadius after it, with the corner as control point: close enough to a
    // circular fillet at these sizes, and simple.
    constexpr int kCurveSteps = 10;
    std::vector<Vec2> points{corners.front()};
    for (std::size_t i = 1; i + 1 < corners.size(); ++i) {
        const Vec2 c = corners[i];
        const Vec2 in = corners[i - 1] - c;
        const Vec2 out = corners[i + 1] - c;
        const double r = std::min({cornerRadius, Length(in) / 2, Length(out) / 2});
        if (r <= 0) {
            points.push_back(c);
            continue;
        }
        const Vec2 from = c + in * (r / Length(in));
        const Vec2 to = c + out * (r / Length(out));
        for (int s = 0; s <= kCurveSteps; ++s) {
            const double t = static_cast<double>(s) / kCurveSteps;
            const double u = 1 - t;
            points.push_back(from * (u * u) + c * (2 * u * t) + to * (t * t));
        }
    }
    points.push_back(corners.back());
    for (std::size_t i = 1; i < points.size(); ++i) {
        segments_.push_back({points[i - 1], points[i]});
    }
}

double StrokeShape::Distance(Vec2 p) const {
    const double toBox = BoxDistance(p, clip_);
    // Far outside the box the exact stroke distance does not matter to anyone.
    if (toBox > 8) return toBox;
    double nearest = std::numeric_limits<double>::max();
    for (const Segment& s : segments_) nearest = std::min(nearest, DistanceToSegment(p, s.a, s.b));
    return std::max(nearest - penRadius_, toBox);
}

double Lettering::Distance(Vec2 p) const {
    const Vec2 upright{p.x - slant_ * (baseline_ - p.y), p.y};
    double d = std::numeric_limits<double>::max();
    for (const StrokeShape& s : shapes_) d = std::min(d, s.Distance(upright));
    return d;
}

Vec2 Lettering::Normal(Vec2 p) const {
    constexpr double h = 0.5;
    const Vec2 g{Distance({p.x + h, p.y}) - Distance({p.x - h, p.y}),
                 Distance({p.x, p.y + h}) - Distance({p.x, p.y - h})};
    const double len = Length(g);
    return len > 1e-9 ? g * (1 / len) : Vec2{};
}

}  // namespace art
