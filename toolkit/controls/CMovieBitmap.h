#pragma once
// A display-only film strip: frame round(value × (frames − 1)). It takes no mouse events but,
// not being transparent, still keeps presses from the views below.
#include "toolkit/CControl.h"

namespace kelo::gui {

class CMovieBitmap : public CControl {
public:
    CMovieBitmap(const CRect& size, IControlListener* listener, int32 tag, CBitmap* background,
                 const CPoint& offset = CPoint(0, 0));
    CMovieBitmap(const CRect& size, IControlListener* listener, int32 tag, int32 subPixmaps, CCoord heightOfOneImage,
                 CBitmap* background, const CPoint& offset = CPoint(0, 0));

    void draw(CDrawContext* context) override;
    // Source y of the frame the current value shows.
    CCoord frameOffset() const;

    void setNumSubPixmaps(int32 n) { subPixmaps_ = n; }
    int32 getNumSubPixmaps() const { return subPixmaps_; }
    void setHeightOfOneImage(CCoord h) { heightOfOneImage_ = h; }
    CCoord getHeightOfOneImage() const { return heightOfOneImage_; }

protected:
    CPoint offset_;
    int32 subPixmaps_ = 0;
    CCoord heightOfOneImage_;
};

} // namespace kelo::gui
