#pragma once
// Integer rectangles in the original platform's convention: right and bottom are
// exclusive edges, and every division on them truncates toward zero.
#include <QRect>

namespace platform {

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    int cx = 0;
    int cy = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    void Deflate(int n) { Inflate(-n); }
    void Inflate(int n) {
        left -= n;
        top -= n;
        right += n;
        bottom += n;
    }
    void Offset(int dx, int dy) {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
    }
    QRect ToQRect() const { return {left, top, Width(), Height()}; }
    static Rect FromQRect(const QRect& r) {
        return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
    }
    friend bool operator==(const Rect&, const Rect&) = default;
};

} // namespace platform
