#pragma once
// A view with a value: min/max/default, a listener that hears the user's changes, dependents
// that hear every change of the value, and edit gestures (begin/end) that reach the host.
//
//   setValue      clamps, stores, notifies dependents if the value changed; never the listener
//   valueChanged  listener, sub-listeners, then dependents ("kMessageValueChanged")
//   beginEdit     counted; the first one tells listener, dependents and the editor (host)
//   isDirty       the dirty flag, or a value that differs from the one last drawn
#include <vector>

#include "toolkit/CView.h"

namespace kelo::gui {

class CControl;

class IControlListener {
public:
    virtual ~IControlListener() = default;
    virtual void valueChanged(CControl* control) = 0;
    // Modifier or right-button press on the control; non-zero swallows the press.
    virtual int32 controlModifierClicked(CControl* /*control*/, CButtonState /*button*/) { return 0; }
    virtual void controlBeginEdit(CControl* /*control*/) {}
    virtual void controlEndEdit(CControl* /*control*/) {}
    virtual void controlTagWillChange(CControl* /*control*/) {}
    virtual void controlTagDidChange(CControl* /*control*/) {}
};
using CControlListener = IControlListener;

class CControl : public CView {
public:
    CControl(const CRect& size, IControlListener* listener = nullptr, int32 tag = 0, CBitmap* background = nullptr);
    ~CControl() override;

    // ---- value ----
    virtual void setValue(float value);
    virtual float getValue() const { return value_; }
    virtual void setValueNormalized(float normalized);
    virtual float getValueNormalized() const;
    virtual void setMin(float v);
    virtual float getMin() const { return vmin_; }
    virtual void setMax(float v);
    virtual float getMax() const { return vmax_; }
    float getRange() const { return getMax() - getMin(); }
    void setOldValue(float v) { oldValue_ = v; }
    float getOldValue() const { return oldValue_; }
    virtual void setDefaultValue(float v) { defaultValue_ = v; }
    float getDefaultValue() const { return defaultValue_; }
    void setWheelInc(float v) { wheelInc_ = v; }
    float getWheelInc() const { return wheelInc_; }
    // Clamps the stored value to min..max silently.
    virtual void bounceValue();
    // Ctrl + left click: back to the default with a full edit bracket; true when it applied.
    virtual bool checkDefaultValue(CButtonState buttons);

    // Tells the listener, the sub-listeners and the dependents.
    virtual void valueChanged();

    // ---- edit gestures ----
    virtual void beginEdit();
    virtual void endEdit();
    bool isEditing() const { return editing_ > 0; }

    // ---- listener, tag ----
    IControlListener* getListener() const { return listener_; }
    void setListener(IControlListener* l) { listener_ = l; }
    void registerControlListener(IControlListener* l);
    void unregisterControlListener(IControlListener* l);
    virtual void setTag(int32 tag);
    int32 getTag() const { return tag_; }

    // ---- dependents ----
    void addDependency(CBaseObject* object);
    void removeDependency(CBaseObject* object);
    // Sends the message to every dependent, or collects it while changes are deferred.
    void changed(IdStringPtr message);
    // Nested brackets; identical messages collected inside merge into one.
    void deferChanges(bool state);

    // ---- drawing state ----
    void setDirty(bool state = true) override;
    bool isDirty() const override;
    void setBackground(CBitmap* background) override;
    void setBackOffset(const CPoint& offset) { backOffset_ = offset; }
    const CPoint& getBackOffset() const { return backOffset_; }
    // The back offset becomes the view's own top-left.
    void copyBackOffset() { backOffset_ = CPoint(size_.left, size_.top); }

    static const IdStringPtr kMessageValueChanged;
    static const IdStringPtr kMessageBeginEdit;
    static const IdStringPtr kMessageEndEdit;
    static int32 kZoomModifier;
    static int32 kDefaultValueModifier;

protected:
    IControlListener* listener_;
    int32 tag_;
    float value_ = 0.0f;
    float vmin_ = 0.0f;
    float vmax_ = 1.0f;
    float defaultValue_ = 0.5f;
    float oldValue_ = 1.0f;
    float wheelInc_ = 0.1f;
    CPoint backOffset_;

private:
    int32 editing_ = 0;
    int32 deferring_ = 0;
    std::vector<IControlListener*> subListeners_;
    std::vector<CBaseObject*> dependents_;
    std::vector<IdStringPtr> deferred_;
};

} // namespace kelo::gui
