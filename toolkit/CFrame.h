#pragma once
// The root view: lives in a platform window, owns the focus and the modal (overlay) view, and
// turns dirty views into paints in idle().
#include <memory>
#include <vector>

#include "toolkit/CViewContainer.h"
#include "toolkit/platform/IPlatformFrame.h"

namespace kelo::gui {

class IPlatformTimer;
class OffscreenFrame;
class VSTGUIEditorInterface;

class CFrame : public CViewContainer, public IPlatformFrameCallback {
public:
    CFrame(const CRect& size, VSTGUIEditorInterface* editor);
    ~CFrame() override;

    // Opens a child window of the host's parent window; false when there is none or the frame
    // is already open.
    bool open(void* parentWindow);
    // Opens in memory (tests, tools, benchmarks); see OffscreenFrame.
    bool openOffscreen();
    // Opens in a given platform window (tests bring their own).
    bool open(std::unique_ptr<IPlatformFrame> platformFrame);
    // Removes and forgets every child, drops the window and forgets the frame itself.
    void close();
    bool isOpen() const { return platformFrame_ != nullptr; }

    // Pending window events, due timers, dirty views to invalidations, then the paint.
    void idle();

    VSTGUIEditorInterface* getEditor() const { return editor_; }
    int32 getKnobMode() const;
    static int32 kDefaultKnobMode;
    void beginEdit(int32 tag);
    void endEdit(int32 tag);

    // ---- focus, modal view, keys ----
    void setFocusView(CView* view);
    CView* getFocusView() const { return focusView_; }
    // The modal view (already added to the frame) receives every mouse event; null clears it.
    void setModalView(CView* view);
    CView* getModalView() const { return modalView_; }
    // Offers a key to the focus view, its parents and the modal view; Tab moves the focus.
    // 1 when used, -1 otherwise.
    int32 onKeyDown(VstKeyCode& key) override;
    int32 onKeyUp(VstKeyCode& key) override;
    // Keyboard events to the window only while a text field is edited.
    void setTextInputFocus(bool on);

    // ---- event entry points (frame coordinates) ----
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseExited(CPoint& where, const CButtonState& buttons) override;
    bool onWheel(const CPoint& where, const CMouseWheelAxis& axis, const float& distance,
                 const CButtonState& buttons) override;
    using CView::onWheel;
    CView* getMouseOverView() const { return mouseOverView_; }

    bool getCurrentMouseLocation(CPoint& where) const;

    // ---- painting ----
    void invalidRect(const CRect& r) override;
    void invalid() override;
    void setViewSize(const CRect& rect, bool invalid = true) override;
    IPlatformFrame* getPlatformFrame() const { return platformFrame_.get(); }
    // The platform frame when the frame was opened offscreen, else null.
    OffscreenFrame* getOffscreenFrame() const;

    // ---- idle views ----
    void registerIdleView(CView* view);
    void unregisterIdleView(CView* view);

    // A view that is going away: the frame forgets every pointer it holds to it.
    void viewWillBeRemoved(CView* view);

    // ---- IPlatformFrameCallback ----
    void platformDrawRect(IPlatformDrawContext& context, const CRect& updateRect) override;
    CMouseEventResult platformOnMouseDown(CPoint where, CButtonState buttons) override;
    CMouseEventResult platformOnMouseMoved(CPoint where, CButtonState buttons) override;
    CMouseEventResult platformOnMouseUp(CPoint where, CButtonState buttons) override;
    CMouseEventResult platformOnMouseExited(CPoint where, CButtonState buttons) override;
    bool platformOnMouseWheel(CPoint where, CMouseWheelAxis axis, float distance, CButtonState buttons) override;
    bool platformOnKeyDown(VstKeyCode& key) override;
    bool platformOnKeyUp(VstKeyCode& key) override;
    void platformOnTimer() override;

private:
    bool attachPlatformFrame(std::unique_ptr<IPlatformFrame> platformFrame);
    void updateMouseOver(const CPoint& where, const CButtonState& buttons);
    void advanceFocus(bool reverse);
    void fireIdleViews();

    VSTGUIEditorInterface* editor_;
    std::unique_ptr<IPlatformFrame> platformFrame_;
    CView* focusView_ = nullptr;
    CView* modalView_ = nullptr;
    CView* mouseOverView_ = nullptr;
    std::vector<CView*> idleViews_;
    std::unique_ptr<IPlatformTimer> idleTimer_;
    bool inIdle_ = false;
    bool textInput_ = false;
};

} // namespace kelo::gui
