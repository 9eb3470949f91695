#pragma once
// A rectangle of the editor that draws itself and may take mouse, wheel and key events.
//
// Redraw model: setDirty() only raises a flag; the frame's idle turns dirty views into
// invalidations (invalid()), and the window paints invalid areas later. Coordinates of a view
// (its size and every event point it receives) are in its parent's coordinates.
#include "toolkit/CBaseObject.h"
#include "toolkit/Types.h"

namespace kelo::gui {

class CBitmap;
class CDrawContext;
class CFrame;
class CViewContainer;

class CView : public CBaseObject {
public:
    explicit CView(const CRect& size);
    ~CView() override;

    // ---- drawing ----
    // Draws the background bitmap, if any, then clears the dirty flag.
    virtual void draw(CDrawContext* context);
    // Draws what falls inside updateRect (parent coordinates); plain views draw everything.
    virtual void drawRect(CDrawContext* context, const CRect& updateRect);

    // "Redraw me at the next frame idle." With kDirtyCallAlwaysOnMainThread it invalidates at once.
    virtual void setDirty(bool state = true);
    virtual bool isDirty() const { return dirty_; }
    // Schedules a paint of the whole view and clears the dirty flag.
    virtual void invalid();
    // Schedules a paint of r (parent coordinates); only while attached and visible.
    virtual void invalidRect(const CRect& r);

    // ---- mouse, wheel, keys ----
    virtual CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons);
    virtual CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons);
    virtual CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons);
    virtual CMouseEventResult onMouseCancel();
    virtual CMouseEventResult onMouseEntered(CPoint& where, const CButtonState& buttons);
    virtual CMouseEventResult onMouseExited(CPoint& where, const CButtonState& buttons);
    virtual bool onWheel(const CPoint& where, const float& distance, const CButtonState& buttons);
    // An X-axis wheel turns into the opposite distance on the plain overload.
    virtual bool onWheel(const CPoint& where, const CMouseWheelAxis& axis, const float& distance,
                         const CButtonState& buttons);
    // 1 when the key was used, -1 otherwise.
    virtual int32 onKeyDown(VstKeyCode& key);
    virtual int32 onKeyUp(VstKeyCode& key);
    // Whether a press at `where` (parent coordinates) belongs to this view.
    virtual bool hitTest(const CPoint& where, const CButtonState& buttons = CButtonState());

    // ---- geometry ----
    // Changes the drawn rectangle only, not the mouse area.
    virtual void setViewSize(const CRect& rect, bool invalid = true);
    const CRect& getViewSize() const { return size_; }
    CRect& getViewSize(CRect& r) const { return r = size_; }
    void setMouseableArea(const CRect& r) { mouseableArea_ = r; }
    const CRect& getMouseableArea() const { return mouseableArea_; }
    CRect& getMouseableArea(CRect& r) const { return r = mouseableArea_; }
    CCoord getWidth() const { return size_.getWidth(); }
    CCoord getHeight() const { return size_.getHeight(); }
    // Resizes to the natural size, if the view has one (both rectangles).
    virtual bool sizeToFit() { return false; }
    // Converts a point in this view's parent coordinates to frame coordinates and back.
    CPoint& localToFrame(CPoint& p) const;
    CPoint& frameToLocal(CPoint& p) const;

    // ---- state ----
    virtual void setVisible(bool state);
    bool isVisible() const { return visible_ && alpha_ > 0.0f; }
    virtual void setMouseEnabled(bool state);
    bool getMouseEnabled() const { return mouseEnabled_; }
    virtual void setTransparency(bool state);
    bool getTransparency() const { return transparent_; }
    void setAlphaValue(float alpha);
    float getAlphaValue() const { return alpha_; }
    void setWantsFocus(bool state) { wantsFocus_ = state; }
    bool wantsFocus() const { return wantsFocus_; }
    virtual void takeFocus() {}
    virtual void looseFocus() {}

    virtual void setBackground(CBitmap* background);
    CBitmap* getBackground() const { return background_; }
    void setDisabledBackground(CBitmap* background);
    CBitmap* getDisabledBackground() const { return disabledBackground_; }

    // onIdle about 30 times a second while attached.
    void setWantsIdle(bool state);
    bool wantsIdle() const { return wantsIdle_; }
    virtual void onIdle() {}

    // ---- hierarchy ----
    virtual bool attached(CView* parent);
    virtual bool removed(CView* parent);
    bool isAttached() const { return attached_; }
    CView* getParentView() const { return parent_; }
    CFrame* getFrame() const { return frame_; }

    // Invalidate at once instead of marking dirty (off: everything paints from the frame's idle).
    static bool kDirtyCallAlwaysOnMainThread;
    static constexpr int32 idleRate = 30;

protected:
    void setDirtyFlag(bool state) { dirty_ = state; }

    CRect size_;
    CRect mouseableArea_;
    CView* parent_ = nullptr;
    CFrame* frame_ = nullptr;
    CBitmap* background_ = nullptr;
    CBitmap* disabledBackground_ = nullptr;

private:
    float alpha_ = 1.0f;
    bool dirty_ = false;
    bool mouseEnabled_ = true;
    bool visible_ = true;
    bool transparent_ = false;
    bool wantsFocus_ = false;
    bool wantsIdle_ = false;
    bool attached_ = false;
};

} // namespace kelo::gui
