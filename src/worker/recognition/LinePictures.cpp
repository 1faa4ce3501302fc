#include "worker/recognition/LinePictures.h"

#include <leptonica/allheaders.h>

#include <algorithm>
#include <cmath>

namespace pelmora::worker {

namespace {

PixPtr clip(Pix *picture, int left, int top, int width, int height)
{
    BOX *box = boxCreate(left, top, std::max(1, width), std::max(1, height));
    PixPtr clipped(pixClipRectangle(picture, box, nullptr));
    boxDestroy(&box);
    return clipped;
}

} // namespace

void PixDeleter::operator()(Pix *pix) const
{
    pixDestroy(&pix);
}

PixPtr GreyPicture(const unsigned char *data, int width, int height, int rowBytes)
{
    PixPtr picture(pixCreate(width, height, 8));
    if (!picture)
        return picture;
    l_uint32 *rows = pixGetData(picture.get());
    const int words = pixGetWpl(picture.get());
    for (int y = 0; y < height; ++y) {
        l_uint32 *row = rows + std::ptrdiff_t(y) * words;
        const unsigned char *source = data + std::ptrdiff_t(y) * rowBytes;
        for (int x = 0; x < width; ++x)
            SET_DATA_BYTE(row, x, source[x]);
    }
    return picture;
}

PixPtr CutLinePiece(Pix *page, PixelRect box, const LineShape &line)
{
    const int pageWidth = pixGetWidth(page);
    const int pageHeight = pixGetHeight(page);
    const double xHeight = std::max(4.0, line.xHeight);
    // A little beside the words, whose boxes the layout may have drawn tight; above and
    // below, room for the drift of a line that is not level.
    const int beside = int(std::lround(0.35 * xHeight));
    const int around = int(std::lround(1.2 * xHeight));
    const int left = std::max(0, box.left - beside);
    const int right = std::min(pageWidth, box.right + beside);
    const int top = std::max(0, box.top - around);
    const int bottom = std::min(pageHeight, box.bottom + around);
    if (right <= left || bottom <= top)
        return nullptr;
    PixPtr cut = clip(page, left, top, right - left, bottom - top);
    if (!cut)
        return nullptr;
    const double run = line.x2 - line.x1;
    const double slope = run != 0 ? (line.y2 - line.y1) / run : 0.0;
    const double angle = std::atan(slope);
    // Turned about its centre; where the baseline then lies, below or above the centre.
    PixPtr level(pixRotate(cut.get(), float(-angle), L_ROTATE_AREA_MAP, L_BRING_IN_WHITE, 0, 0));
    if (!level)
        return nullptr;
    const double centreX = (left + right) / 2.0;
    const double centreY = (top + bottom) / 2.0;
    const double baseline = line.y1 + (centreX - line.x1) * slope;
    const double levelBaseline = pixGetHeight(level.get()) / 2.0 + (baseline - centreY) * std::cos(angle);
    const double pad = 0.3 * xHeight;
    const int bandTop = std::max(0, int(levelBaseline - xHeight - line.ascender - pad));
    const int bandBottom =
        std::min(pixGetHeight(level.get()), int(std::ceil(levelBaseline + line.descender + pad)));
    if (bandBottom <= bandTop)
        return nullptr;
    PixPtr band = clip(level.get(), 0, bandTop, pixGetWidth(level.get()), bandBottom - bandTop);
    if (!band)
        return nullptr;
    const int margin = std::max(8, int(xHeight / 2));
    return PixPtr(pixAddBorderGeneral(band.get(), margin, margin, margin, margin, 255));
}

PixPtr Scaled(Pix *piece, double factor)
{
    return PixPtr(pixScaleGrayLI(piece, float(factor), float(factor)));
}

PixPtr Binarised(Pix *piece)
{
    Pix *binary = nullptr;
    // A window of about a letter and a half at 300 dpi; 0.34 is leptonica's usual factor.
    if (pixSauvolaBinarize(piece, 25, 0.34f, 1, nullptr, nullptr, nullptr, &binary) != 0)
        return nullptr;
    return PixPtr(binary);
}

GlyphBlots::GlyphBlots(Pix *piece)
{
    const PixPtr binary(pixGetDepth(piece) == 1 ? pixClone(piece) : pixThresholdToBinary(piece, 128));
    if (!binary)
        return;
    BOXA *blots = pixConnCompBB(binary.get(), 8);
    if (!blots)
        return;
    for (int i = 0; i < boxaGetCount(blots); ++i) {
        l_int32 x = 0, y = 0, w = 0, h = 0;
        if (boxaGetBoxGeometry(blots, i, &x, &y, &w, &h) == 0)
            m_blots.push_back({x, y, x + w, y + h});
    }
    boxaDestroy(&blots);
}

PixelRect GlyphBlots::of(PixelRect glyph) const
{
    const PixelRect *best = nullptr;
    int bestOverlap = 0;
    for (const PixelRect &blot : m_blots) {
        const int overlap = std::min(blot.right, glyph.right) - std::max(blot.left, glyph.left);
        if (overlap > bestOverlap) {
            best = &blot;
            bestOverlap = overlap;
        }
    }
    // A blot mostly outside the glyph's columns is another glyph, or several run together.
    if (!best || bestOverlap * 2 < best->width())
        return {};
    return *best;
}

} // namespace pelmora::worker
