#pragma once

// Pieces of a page's picture cut out to be read again: level, with a white margin, and
// the variants of one piece that the readings vote over (leptonica only, no engine).

#include <memory>
#include <vector>

struct Pix;

namespace pelmora::worker {

struct PixDeleter
{
    void operator()(Pix *pix) const;
};
using PixPtr = std::unique_ptr<Pix, PixDeleter>;

// A rectangle of pixels; right and bottom are past its last column and row.
struct PixelRect
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

// A line of text as the page's layout analysis saw it, in page pixels.
struct LineShape
{
    double xHeight = 0;
    double ascender = 0;  // above the x-height
    double descender = 0; // below the baseline, positive
    // Two points of the baseline.
    double x1 = 0;
    double y1 = 0;
    double x2 = 0;
    double y2 = 0;
};

// A grey picture of 8 bits a pixel from rows of `rowBytes` bytes.
PixPtr GreyPicture(const unsigned char *data, int width, int height, int rowBytes);

// The part of the page inside `box` (widened by a little), turned so its baseline is
// level, cut to the band from the line's ascenders to its descenders, with a white
// margin all round: a picture of one line of text for single-line reading.
PixPtr CutLinePiece(Pix *page, PixelRect box, const LineShape &line);

// The piece scaled by `factor` (smooth, grey).
PixPtr Scaled(Pix *piece, double factor);

// The piece as black and white by Sauvola's local threshold.
PixPtr Binarised(Pix *piece);

// The glyphs of a piece as connected blots of ink: the engine's boxes are too rough to
// measure (a neighbour's stem falls into them). An "o" is as high as the small letters,
// a "0" as the digits.
class GlyphBlots
{
public:
    explicit GlyphBlots(Pix *piece);
    // The blot that lies most within the glyph's columns; empty when none does (the
    // box missed it, or the glyph touches its neighbours).
    PixelRect of(PixelRect glyph) const;

private:
    std::vector<PixelRect> m_blots;
};

} // namespace pelmora::worker
