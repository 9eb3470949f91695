#pragma once
// A view holding child views. Children draw in insertion order (later ones on top), each clipped
// to its own rectangle; presses go to the topmost child under the pointer.
#include <vector>

#include "toolkit/CView.h"

namespace kelo::gui {

class CViewContainer : public CView {
public:
    explicit CViewContainer(const CRect& size);
    // Deprecated form that also sets a background bitmap (the frame argument is unused).
    CViewContainer(const CRect& size, CFrame* frame, CBitmap* background);
    ~CViewContainer() override;

    // Takes over the caller's reference (no remember()).
    virtual bool addView(CView* view);
    virtual bool addView(CView* view, const CRect& mouseableArea, bool mouseEnabled = true);
    // Invalidates the view, drops it, and forgets it when withForget.
    virtual bool removeView(CView* view, bool withForget = true);
    virtual bool removeAll(bool withForget = true);
    bool isChild(const CView* view) const;
    int32 getNbViews() const { return static_cast<int32>(children_.size()); }
    CView* getView(int32 index) const;
    // The topmost visible child under `where` (parent coordinates); with deep, the innermost.
    CView* getViewAt(const CPoint& where, bool deep = false) const;
    const std::vector<CView*>& children() const { return children_; }

    void setBackgroundColor(const CColor& color);
    const CColor& getBackgroundColor() const { return backgroundColor_; }
    void setBackgroundOffset(const CPoint& offset) { backgroundOffset_ = offset; }
    const CPoint& getBackgroundOffset() const { return backgroundOffset_; }

    // Turns dirty children into invalidations (recursively).
    void invalidateDirtyViews();

    void draw(CDrawContext* context) override;
    void drawRect(CDrawContext* context, const CRect& updateRect) override;
    virtual void drawBackgroundRect(CDrawContext* context, const CRect& rect);
    bool isDirty() const override;
    // Unlike a plain view's, r is in this container's own coordinates (a child's rectangle).
    void invalidRect(const CRect& r) override;
    void invalid() override;

    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseCancel() override;
    bool onWheel(const CPoint& where, const CMouseWheelAxis& axis, const float& distance,
                 const CButtonState& buttons) override;
    using CView::onWheel;

    bool attached(CView* parent) override;
    bool removed(CView* parent) override;
    CMessageResult notify(CBaseObject* sender, IdStringPtr message) override;

    CView* getMouseDownView() const { return mouseDownView_; }
    void setMouseDownView(CView* view) { mouseDownView_ = view; }

protected:
    // Moves the press to the child's coordinates.
    CPoint toLocal(const CPoint& where) const { return {where.x - size_.left, where.y - size_.top}; }

    std::vector<CView*> children_;
    CView* mouseDownView_ = nullptr;
    CColor backgroundColor_ = kBlackCColor;
    CPoint backgroundOffset_;
};

} // namespace kelo::gui
