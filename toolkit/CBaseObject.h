#pragma once
// Reference-counted base of every toolkit object, and the message strings objects exchange.
// Messages are compared by pointer: each has exactly one static string.
#include "toolkit/Types.h"

namespace kelo::gui {

enum CMessageResult : int32 { kMessageUnknown = 0, kMessageNotified = 1 };

class CBaseObject {
public:
    CBaseObject() = default;
    virtual ~CBaseObject() = default;
    CBaseObject(const CBaseObject&) = delete;
    CBaseObject& operator=(const CBaseObject&) = delete;

    // A new object holds one reference, its creator's.
    void remember() { ++references_; }
    // Drops one reference; the object deletes itself when none is left.
    void forget() {
        if (references_ > 0 && --references_ == 0) delete this;
    }
    int32 getNbReference() const { return references_; }

    virtual CMessageResult notify(CBaseObject* /*sender*/, IdStringPtr /*message*/) { return kMessageUnknown; }

private:
    int32 references_ = 1;
};

// Sent by a view to its parent when its size changed.
extern const IdStringPtr kMsgViewSizeChanged;
// Sent to the parents of a text edit when it lost the focus.
extern const IdStringPtr kMsgLooseFocus;

} // namespace kelo::gui
