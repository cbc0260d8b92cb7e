#include "resources/Bitmaps.h"

#include "resources/ResourceIds.h"

#include <QImage>
#include <QPainter>

#include <array>
#include <string_view>

namespace {

// The classic 16-colour palette; the pictures use no other colour.
const QColor kBlack(0, 0, 0);
const QColor kMaroon(128, 0, 0);
const QColor kGreen(0, 128, 0);
const QColor kNavy(0, 0, 128);
const QColor kTeal(0, 128, 128);
const QColor kGray(128, 128, 128);
const QColor kSilver(192, 192, 192);
const QColor kRed(255, 0, 0);
const QColor kLime(0, 255, 0);
const QColor kYellow(255, 255, 0);
const QColor kWhite(255, 255, 255);

// A 5 x 7 block font for the few letters the pictures spell; '#' is a set pixel.
struct Glyph {
    char ch;
    std::array<std::string_view, 7> rows;
};

constexpr std::array<Glyph, 16> kGlyphs{{
    {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'D', {"####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."}},
    {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
    {'G', {".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".###."}},
    {'K', {"#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"}},
    {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
    {'M', {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"}},
    {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'P', {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."}},
    {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
    {'S', {".####", "#....", "#....", ".###.", "....#", "....#", "####."}},
    {'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
    {'U', {"#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'V', {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
    {'Y', {"#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."}},
    {'&', {".##..", "#..#.", "#.#..", ".#...", "#.#.#", "#..#.", ".##.#"}},
}};

constexpr int kGlyphWidth = 5;

const Glyph* FindGlyph(char ch) {
    for (const Glyph& glyph : kGlyphs) {
        if (glyph.ch == ch) {
            return &glyph;
        }
    }
    return nullptr;
}

// Spells text from (x, y) with each font pixel scale pixels square; bold doubles every
// stroke one pixel to the right. Letters are spacing pixels apart.
void DrawWord(QPainter& p, int x, int y, std::string_view text, const QColor& color, int spacing,
              int scale = 1, bool bold = false) {
    const int advance = kGlyphWidth * scale + (bold ? 1 : 0) + spacing;
    for (const char ch : text) {
        if (const Glyph* glyph = FindGlyph(ch)) {
            for (int row = 0; row < 7; ++row) {
                for (int col = 0; col < kGlyphWidth; ++col) {
                    if (glyph->rows[row][col] == '#') {
                        p.fillRect(x + col * scale, y + row * scale, scale + (bold ? 1 : 0), scale,
                                   color);
                    }
                }
            }
        }
        x += advance;
    }
}

// A filled box with a one-pixel outline, both edges of (x, y, w, h) included.
void OutlinedBox(QPainter& p, int x, int y, int w, int h, const QColor& outline,
                 const QColor& fill) {
    p.fillRect(x, y, w, h, outline);
    p.fillRect(x + 1, y + 1, w - 2, h - 2, fill);
}

// An image painted without smoothing, so every pixel keeps a palette colour.
template <class Draw> QPixmap Picture(int w, int h, const QColor& background, Draw draw) {
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(background);
    QPainter p(&image);
    draw(p);
    p.end();
    return QPixmap::fromImage(image);
}

// The maker's mark: white "KS" on a black block, then the name and a rule, black on
// light grey. The mark keeps to the left 84 pixels, which the form's logo area shows.
QPixmap Logo() {
    return Picture(103, 24, kSilver, [](QPainter& p) {
        p.fillRect(0, 2, 28, 20, kBlack);
        DrawWord(p, 3, 5, "KS", kWhite, 2, 2);
        DrawWord(p, 32, 3, "KORVALD", kBlack, 1, 1, true);
        p.fillRect(32, 12, 48, 1, kBlack);
        DrawWord(p, 32, 15, "SYSTEMS", kBlack, 2);
    });
}

// A mains plug with its cable, standing at (x, y).
void DrawPlug(QPainter& p, int x, int y) {
    OutlinedBox(p, x + 2, y, 3, 9, kBlack, kYellow); // the two pins
    OutlinedBox(p, x + 9, y, 3, 9, kBlack, kYellow);
    OutlinedBox(p, x, y + 8, 14, 12, kBlack, kGray); // the body
    p.fillRect(x + 2, y + 10, 10, 1, kSilver);       // a highlight along its top
    p.fillRect(x + 5, y + 20, 4, 4, kNavy);          // the cable leaves downward
    p.fillRect(x + 5, y + 24, 14, 3, kNavy);         // and runs off to the right
}

// A "PLUG&PLAY READY" badge in a framed white field on the top bar's teal. Its content
// stays inside the 68 x 39 pixels the form's badge area shows.
QPixmap Badge() {
    return Picture(77, 41, kTeal, [](QPainter& p) {
        OutlinedBox(p, 1, 1, 66, 37, kBlack, kWhite);
        p.fillRect(3, 3, 62, 1, kSilver);
        DrawPlug(p, 6, 6);
        DrawWord(p, 27, 6, "PLUG&", kNavy, 1);
        DrawWord(p, 27, 16, "PLAY", kNavy, 1);
        DrawWord(p, 27, 27, "READY", kMaroon, 1);
    });
}

} // namespace

// A mainframe seen from the front: a grey chassis, a row of cards, a green lamp, drawn on a
// grid of 16 x 16 cells.
QPixmap AppIconPixmap(int size) {
    const int s = size / 16; // the cell: 1 for 16 x 16, 2 for 32 x 32
    return Picture(size, size, Qt::transparent, [s](QPainter& p) {
        OutlinedBox(p, s, s, 14 * s, 13 * s, kBlack, kSilver);
        p.fillRect(2 * s, 2 * s, 12 * s, 2 * s, kGray); // the top panel
        p.fillRect(3 * s, 2 * s + s / 2, s, s, kLime);  // the status lamp
        p.fillRect(11 * s, 2 * s + s / 2, 2 * s, s, kRed);
        for (int slot = 0; slot < 5; ++slot) { // the cards
            p.fillRect((3 + 2 * slot) * s, 5 * s, s, 7 * s, kWhite);
            p.fillRect((4 + 2 * slot) * s, 5 * s, s, 7 * s, slot == 2 ? kGreen : kGray);
        }
        p.fillRect(2 * s, 14 * s, 2 * s, s, kBlack); // feet
        p.fillRect(12 * s, 14 * s, 2 * s, s, kBlack);
    });
}

QPixmap LoadBitmap(int id) {
    switch (id) {
    case IDB_LOGO:
        return Logo();
    case IDB_BADGE:
        return Badge();
    default:
        return {};
    }
}

QString BitmapText(int id) {
    switch (id) {
    case IDB_LOGO:
        return QStringLiteral("KS Korvald Systems");
    case IDB_BADGE:
        return QStringLiteral("Plug & Play Ready");
    default:
        return {};
    }
}

QIcon AppIcon() {
    QIcon icon;
    icon.addPixmap(AppIconPixmap(32));
    icon.addPixmap(AppIconPixmap(16));
    return icon;
}
