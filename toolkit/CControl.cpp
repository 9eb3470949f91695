#include "toolkit/CControl.h"

#include <algorithm>

#include "toolkit/CBitmap.h"
#include "toolkit/CFrame.h"

namespace kelo::gui {

const IdStringPtr CControl::kMessageValueChanged = "kMessageValueChanged";
const IdStringPtr CControl::kMessageBeginEdit = "kMessageBeginEdit";
const IdStringPtr CControl::kMessageEndEdit = "kMessageEndEdit";
int32 CControl::kZoomModifier = kShift;
int32 CControl::kDefaultValueModifier = kControl;

CControl::CControl(const CRect& size, IControlListener* listener, int32 tag, CBitmap* background)
    : CView(size), listener_(listener), tag_(tag) {
    if (background) {
        background->remember();
        background_ = background;
    }
}

CControl::~CControl() = default;

void CControl::setValue(float value) {
    const float v = std::clamp(value, getMin(), getMax());
    if (v == value_) return;
    value_ = v;
    changed(kMessageValueChanged);
}

void CControl::setValueNormalized(float normalized) {
    const float n = std::clamp(normalized, 0.0f, 1.0f);
    setValue(getMin() + n * getRange());
}

float CControl::getValueNormalized() const {
    const float range = getRange();
    return range == 0.0f ? 0.0f : (getValue() - getMin()) / range;
}

void CControl::setMin(float v) {
    vmin_ = v;
    bounceValue();
}

void CControl::setMax(float v) {
    vmax_ = v;
    bounceValue();
}

void CControl::bounceValue() {
    if (value_ > getMax())
        value_ = getMax();
    else if (value_ < getMin())
        value_ = getMin();
}

bool CControl::checkDefaultValue(CButtonState buttons) {
    if (!buttons.isLeftButton() || buttons.getModifierState() != kDefaultValueModifier) return false;
    const float def = getDefaultValue();
    if (def != getValue()) {
        beginEdit();
        setValue(def);
        valueChanged();
        endEdit();
    }
    return true;
}

void CControl::valueChanged() {
    if (listener_) listener_->valueChanged(this);
    const auto subs = subListeners_;
    for (IControlListener* l : subs) l->valueChanged(this);
    changed(kMessageValueChanged);
}

void CControl::beginEdit() {
    if (++editing_ != 1) return;
    if (listener_) listener_->controlBeginEdit(this);
    const auto subs = subListeners_;
    for (IControlListener* l : subs) l->controlBeginEdit(this);
    changed(kMessageBeginEdit);
    if (CFrame* f = getFrame()) f->beginEdit(tag_);
}

void CControl::endEdit() {
    if (editing_ == 0 || --editing_ != 0) return;
    // The host hears the end first, as it heard the beginning last.
    if (CFrame* f = getFrame()) f->endEdit(tag_);
    if (listener_) listener_->controlEndEdit(this);
    const auto subs = subListeners_;
    for (IControlListener* l : subs) l->controlEndEdit(this);
    changed(kMessageEndEdit);
}

void CControl::registerControlListener(IControlListener* l) {
    if (l && std::find(subListeners_.begin(), subListeners_.end(), l) == subListeners_.end())
        subListeners_.push_back(l);
}

void CControl::unregisterControlListener(IControlListener* l) { std::erase(subListeners_, l); }

void CControl::setTag(int32 tag) {
    if (listener_) listener_->controlTagWillChange(this);
    for (IControlListener* l : subListeners_) l->controlTagWillChange(this);
    tag_ = tag;
    if (listener_) listener_->controlTagDidChange(this);
    for (IControlListener* l : subListeners_) l->controlTagDidChange(this);
}

void CControl::addDependency(CBaseObject* object) {
    if (object) dependents_.push_back(object);
}

void CControl::removeDependency(CBaseObject* object) {
    auto it = std::find(dependents_.begin(), dependents_.end(), object);
    if (it != dependents_.end()) dependents_.erase(it);
}

void CControl::changed(IdStringPtr message) {
    if (deferring_ > 0) {
        if (std::find(deferred_.begin(), deferred_.end(), message) == deferred_.end()) deferred_.push_back(message);
        return;
    }
    // A dependent may remove itself while being told.
    const auto deps = dependents_;
    for (CBaseObject* d : deps) d->notify(this, message);
}

void CControl::deferChanges(bool state) {
    if (state) {
        ++deferring_;
        return;
    }
    if (deferring_ == 0 || --deferring_ != 0) return;
    auto pending = std::move(deferred_);
    deferred_.clear();
    for (IdStringPtr m : pending) changed(m);
}

void CControl::setDirty(bool state) {
    if (state && kDirtyCallAlwaysOnMainThread) {
        invalid();
        return;
    }
    setDirtyFlag(state);
    if (state)
        oldValue_ = value_ == -1.0f ? 0.0f : -1.0f;
    else
        oldValue_ = value_;
}

bool CControl::isDirty() const { return oldValue_ != value_ || CView::isDirty(); }

void CControl::setBackground(CBitmap* background) {
    if (background == background_) return;
    if (background) background->remember();
    if (background_) background_->forget();
    background_ = background;
    if (getMouseEnabled()) setDirty();
}

} // namespace kelo::gui
