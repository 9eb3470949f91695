#include "toolkit/xcb/XcbFrame.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace kelo::gui::xcb {

namespace {

constexpr uint32_t kDoubleClickMs = 400;
constexpr double kDoubleClickSlop = 4;
constexpr size_t kMaxInvalidRects = 16;

template <typename T>
struct Reply {
    T* p = nullptr;
    ~Reply() { std::free(p); }
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

int32 modifiers(uint16_t state) {
    int32 b = 0;
    if (state & XCB_MOD_MASK_SHIFT) b |= kShift;
    if (state & XCB_MOD_MASK_CONTROL) b |= kControl;
    if (state & XCB_MOD_MASK_1) b |= kAlt;
    return b;
}

int32 heldButtons(uint16_t state) {
    int32 b = 0;
    if (state & XCB_BUTTON_MASK_1) b |= kLButton;
    if (state & XCB_BUTTON_MASK_2) b |= kMButton;
    if (state & XCB_BUTTON_MASK_3) b |= kRButton;
    return b;
}

int32 buttonBit(uint8_t detail) {
    switch (detail) {
    case 1: return kLButton;
    case 2: return kMButton;
    case 3: return kRButton;
    case 8: return kButton4;
    case 9: return kButton5;
    default: return 0;
    }
}

// Whole pixels covering r.
CRect pixelBounds(const CRect& r) {
    return CRect(std::floor(r.left), std::floor(r.top), std::ceil(r.right), std::ceil(r.bottom));
}

xcb_atom_t internAtom(xcb_connection_t* c, const char* name) {
    Reply<xcb_intern_atom_reply_t> r{xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr)};
    return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// Our back buffer holds 32-bit native-order pixels: the window must take exactly that.
bool imageFormatMatches(const xcb_setup_t* setup, uint8_t depth) {
    const uint16_t probe = 1;
    const bool littleEndian = *reinterpret_cast<const uint8_t*>(&probe) == 1;
    if ((setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST) != littleEndian) return false;
    if (depth != 24 && depth != 32) return false;
    xcb_format_iterator_t it = xcb_setup_pixmap_formats_iterator(setup);
    for (; it.rem; xcb_format_next(&it))
        if (it.data->depth == depth) return it.data->bits_per_pixel == 32 && it.data->scanline_pad == 32;
    return false;
}

} // namespace

std::unique_ptr<XcbFrame> XcbFrame::create(IPlatformFrameCallback& callback, const CRect& size, uint32_t parent) {
    const int w = static_cast<int>(size.getWidth());
    const int h = static_cast<int>(size.getHeight());
    if (parent == 0 || w <= 0 || h <= 0 || w > 32767 || h > 32767) return nullptr;
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (!c) return nullptr;
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return nullptr;
    }
    Reply<xcb_get_geometry_reply_t> geometry{xcb_get_geometry_reply(c, xcb_get_geometry(c, parent), nullptr)};
    auto back = cairo::CairoImageContext::create(w, h);
    if (!geometry || !back || !imageFormatMatches(xcb_get_setup(c), geometry->depth)) {
        xcb_disconnect(c);
        return nullptr;
    }
    const uint8_t depth = geometry->depth;

    // Same visual as the parent, no background (the back buffer paints every pixel).
    const xcb_window_t window = xcb_generate_id(c);
    const uint32_t mask = XCB_CW_BACK_PIXMAP | XCB_CW_EVENT_MASK;
    const uint32_t values[] = {XCB_BACK_PIXMAP_NONE,
                               XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE |
                                   XCB_EVENT_MASK_POINTER_MOTION | XCB_EVENT_MASK_ENTER_WINDOW |
                                   XCB_EVENT_MASK_LEAVE_WINDOW | XCB_EVENT_MASK_STRUCTURE_NOTIFY};
    xcb_void_cookie_t made =
        xcb_create_window_checked(c, XCB_COPY_FROM_PARENT, window, parent, 0, 0, static_cast<uint16_t>(w),
                                  static_cast<uint16_t>(h), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                                  mask, values);
    if (xcb_generic_error_t* e = xcb_request_check(c, made)) {
        std::free(e);
        xcb_disconnect(c);
        return nullptr;
    }
    // XEmbed: protocol version 0, mapped.
    if (const xcb_atom_t info = internAtom(c, "_XEMBED_INFO"); info != XCB_ATOM_NONE) {
        const uint32_t data[] = {0, 1};
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, info, info, 32, 2, data);
    }
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, window, 0, nullptr);
    xcb_map_window(c, window);
    xcb_flush(c);
    return std::unique_ptr<XcbFrame>(new XcbFrame(callback, c, window, gc, depth, std::move(back)));
}

XcbFrame::XcbFrame(IPlatformFrameCallback& callback, xcb_connection_t* connection, xcb_window_t window,
                   xcb_gcontext_t gc, uint8_t depth, std::unique_ptr<cairo::CairoImageContext> back)
    : callback_(callback), connection_(connection), window_(window), gc_(gc), depth_(depth), back_(std::move(back)) {
    back_->clear(kBlackCColor);
}

XcbFrame::~XcbFrame() {
    if (destroyed_) *destroyed_ = true;
    if (!xcb_connection_has_error(connection_)) {
        xcb_free_gc(connection_, gc_);
        // Harmless when the host already destroyed the parent (and with it our window): the
        // error comes back as an event nobody reads.
        if (alive_) xcb_destroy_window(connection_, window_);
        xcb_flush(connection_);
    }
    xcb_disconnect(connection_);
}

uint32_t XcbFrame::eventMask() const {
    uint32_t m = XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE |
                 XCB_EVENT_MASK_POINTER_MOTION | XCB_EVENT_MASK_ENTER_WINDOW | XCB_EVENT_MASK_LEAVE_WINDOW |
                 XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    if (textInput_) m |= XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE;
    return m;
}

void XcbFrame::invalidRect(const CRect& rect) {
    CRect r = pixelBounds(rect);
    r.bound(back_->getSurfaceRect());
    if (r.isEmpty()) return;
    for (CRect& q : invalid_)
        if (q.rectOverlap(r)) {
            q.unite(r);
            return;
        }
    invalid_.push_back(r);
    if (invalid_.size() > kMaxInvalidRects) {
        CRect all;
        for (const CRect& q : invalid_) all.unite(q);
        invalid_.assign(1, all);
    }
}

void XcbFrame::pollEvents() {
    if (xcb_connection_has_error(connection_)) {
        alive_ = false;
        return;
    }
    // A callback may close the editor and destroy this object: stop touching it then.
    bool destroyed = false;
    destroyed_ = &destroyed;
    // Motion is coalesced: only the last of a run of moves is delivered.
    std::optional<xcb_motion_notify_event_t> motion;
    auto flushMotion = [&] {
        if (!motion) return;
        const auto m = *motion;
        motion.reset();
        callback_.platformOnMouseMoved(CPoint(m.event_x, m.event_y),
                                       CButtonState(heldButtons(m.state) | modifiers(m.state)));
    };
    while (xcb_generic_event_t* e = xcb_poll_for_event(connection_)) {
        if ((e->response_type & 0x7f) == XCB_MOTION_NOTIFY) {
            motion = *reinterpret_cast<xcb_motion_notify_event_t*>(e);
            std::free(e);
            continue;
        }
        flushMotion();
        if (!destroyed) dispatch(e);
        std::free(e);
        if (destroyed) return;
    }
    flushMotion();
    if (destroyed) return;
    destroyed_ = nullptr;
    if (xcb_connection_has_error(connection_)) alive_ = false;
}

void XcbFrame::dispatch(xcb_generic_event_t* e) {
    const uint8_t type = e->response_type & 0x7f;
    switch (type) {
    case 0: break; // an error reply (for example after the parent went away): nothing to do
    case XCB_EXPOSE: {
        auto* x = reinterpret_cast<xcb_expose_event_t*>(e);
        exposed_.emplace_back(x->x, x->y, x->x + x->width, x->y + x->height);
        break;
    }
    case XCB_BUTTON_PRESS: {
        auto* b = reinterpret_cast<xcb_button_press_event_t*>(e);
        const CPoint where(b->event_x, b->event_y);
        const int32 mods = modifiers(b->state);
        if (b->detail >= 4 && b->detail <= 7) {
            const bool vertical = b->detail <= 5;
            const float distance = (b->detail == 4 || b->detail == 7) ? 1.0f : -1.0f;
            callback_.platformOnMouseWheel(where, vertical ? kMouseWheelAxisY : kMouseWheelAxisX, distance,
                                           CButtonState(heldButtons(b->state) | mods));
            break;
        }
        const int32 bit = buttonBit(b->detail);
        if (!bit) break;
        int32 state = heldButtons(b->state) | bit | mods;
        if (b->detail == lastPressButton_ && b->time - lastPressTime_ <= kDoubleClickMs &&
            std::abs(where.x - lastPressAt_.x) <= kDoubleClickSlop &&
            std::abs(where.y - lastPressAt_.y) <= kDoubleClickSlop) {
            state |= kDoubleClick;
            lastPressButton_ = 0; // a third press starts over
        } else {
            lastPressButton_ = b->detail;
            lastPressTime_ = b->time;
            lastPressAt_ = where;
        }
        callback_.platformOnMouseDown(where, CButtonState(state));
        break;
    }
    case XCB_BUTTON_RELEASE: {
        auto* b = reinterpret_cast<xcb_button_release_event_t*>(e);
        const int32 bit = buttonBit(b->detail);
        if (bit) callback_.platformOnMouseUp(CPoint(b->event_x, b->event_y), CButtonState(bit | modifiers(b->state)));
        break;
    }
    case XCB_ENTER_NOTIFY: {
        auto* n = reinterpret_cast<xcb_enter_notify_event_t*>(e);
        callback_.platformOnMouseMoved(CPoint(n->event_x, n->event_y),
                                       CButtonState(heldButtons(n->state) | modifiers(n->state)));
        break;
    }
    case XCB_LEAVE_NOTIFY: {
        auto* n = reinterpret_cast<xcb_leave_notify_event_t*>(e);
        if (n->mode == XCB_NOTIFY_MODE_NORMAL)
            callback_.platformOnMouseExited(CPoint(n->event_x, n->event_y), CButtonState(modifiers(n->state)));
        break;
    }
    case XCB_KEY_PRESS:
    case XCB_KEY_RELEASE: {
        auto* k = reinterpret_cast<xcb_key_press_event_t*>(e);
        VstKeyCode key{};
        if (textInput_ && translateKey(k->detail, k->state, key)) {
            if (type == XCB_KEY_PRESS)
                callback_.platformOnKeyDown(key);
            else
                callback_.platformOnKeyUp(key);
        }
        break;
    }
    case XCB_DESTROY_NOTIFY: {
        auto* d = reinterpret_cast<xcb_destroy_notify_event_t*>(e);
        if (d->window == window_) alive_ = false;
        break;
    }
    case XCB_MAPPING_NOTIFY: keysyms_.clear(); break;
    default: break;
    }
}

void XcbFrame::presentInvalid() {
    if (!alive_) {
        invalid_.clear();
        exposed_.clear();
        return;
    }
    std::vector<CRect> painted;
    painted.swap(invalid_);
    for (const CRect& r : painted) callback_.platformDrawRect(*back_, r);
    for (const CRect& r : painted) putImage(r);
    for (const CRect& r : exposed_) putImage(r);
    exposed_.clear();
    xcb_flush(connection_);
}

void XcbFrame::putImage(const CRect& area) {
    CRect r = pixelBounds(area);
    r.bound(back_->getSurfaceRect());
    if (r.isEmpty()) return;
    const int x = static_cast<int>(r.left);
    const int y0 = static_cast<int>(r.top);
    const int w = static_cast<int>(r.getWidth());
    const int h = static_cast<int>(r.getHeight());
    const auto* pixels = reinterpret_cast<const uint8_t*>(back_->getPixels());
    const size_t stride = static_cast<size_t>(back_->stride());
    const size_t rowBytes = size_t(w) * 4;
    // Stay under the server's request size (in 4-byte units, header included).
    const size_t maxBytes = size_t(xcb_get_maximum_request_length(connection_)) * 4;
    const int rowsPerRequest = static_cast<int>(std::max<size_t>(1, (maxBytes - 64) / rowBytes));
    for (int y = y0; y < y0 + h; y += rowsPerRequest) {
        const int rows = std::min(rowsPerRequest, y0 + h - y);
        scratch_.resize(rowBytes * size_t(rows));
        for (int j = 0; j < rows; ++j)
            std::memcpy(scratch_.data() + size_t(j) * rowBytes, pixels + size_t(y + j) * stride + size_t(x) * 4,
                        rowBytes);
        xcb_put_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, window_, gc_, static_cast<uint16_t>(w),
                      static_cast<uint16_t>(rows), static_cast<int16_t>(x), static_cast<int16_t>(y), 0, depth_,
                      static_cast<uint32_t>(scratch_.size()), scratch_.data());
    }
}

void XcbFrame::setSize(const CRect& size) {
    const int w = static_cast<int>(size.getWidth());
    const int h = static_cast<int>(size.getHeight());
    if (w <= 0 || h <= 0 || w > 32767 || h > 32767 || (w == back_->getWidth() && h == back_->getHeight())) return;
    auto back = cairo::CairoImageContext::create(w, h);
    if (!back) return;
    back_ = std::move(back);
    back_->clear(kBlackCColor);
    invalid_.clear();
    exposed_.clear();
    const uint32_t values[] = {static_cast<uint32_t>(w), static_cast<uint32_t>(h)};
    if (alive_) xcb_configure_window(connection_, window_, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, values);
    invalidRect(CRect(0, 0, w, h));
}

bool XcbFrame::getCurrentMousePosition(CPoint& where) const {
    if (!alive_) return false;
    Reply<xcb_query_pointer_reply_t> r{
        xcb_query_pointer_reply(connection_, xcb_query_pointer(connection_, window_), nullptr)};
    if (!r || !r->same_screen) return false;
    where = CPoint(r->win_x, r->win_y);
    return true;
}

void XcbFrame::setTextInputFocus(bool on) {
    if (on == textInput_) return;
    textInput_ = on;
    if (!alive_) return;
    const uint32_t mask = eventMask();
    xcb_change_window_attributes(connection_, window_, XCB_CW_EVENT_MASK, &mask);
    // Keys reach a child window only while it has the focus; it goes back to the parent with
    // the next click elsewhere.
    if (on) xcb_set_input_focus(connection_, XCB_INPUT_FOCUS_PARENT, window_, XCB_CURRENT_TIME);
    xcb_flush(connection_);
}

void* XcbFrame::getNativeHandle() const { return reinterpret_cast<void*>(static_cast<uintptr_t>(window_)); }

void XcbFrame::loadKeyboardMapping() {
    const xcb_setup_t* setup = xcb_get_setup(connection_);
    const uint8_t first = setup->min_keycode;
    const uint8_t count = static_cast<uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    Reply<xcb_get_keyboard_mapping_reply_t> r{xcb_get_keyboard_mapping_reply(
        connection_, xcb_get_keyboard_mapping(connection_, first, count), nullptr)};
    if (!r) return;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(r.p);
    const int n = xcb_get_keyboard_mapping_keysyms_length(r.p);
    keysyms_.assign(syms, syms + n);
    firstKeycode_ = first;
    keysymsPerKeycode_ = r->keysyms_per_keycode;
}

bool XcbFrame::translateKey(xcb_keycode_t code, uint16_t state, VstKeyCode& key) {
    if (keysyms_.empty()) loadKeyboardMapping();
    if (keysymsPerKeycode_ == 0 || code < firstKeycode_) return false;
    const size_t base = size_t(code - firstKeycode_) * keysymsPerKeycode_;
    if (base >= keysyms_.size()) return false;
    const bool shifted = (state & XCB_MOD_MASK_SHIFT) != 0;
    uint32_t sym = keysyms_[base];
    if (shifted && keysymsPerKeycode_ > 1 && keysyms_[base + 1] != 0) sym = keysyms_[base + 1];
    // Caps Lock on letters.
    if ((state & XCB_MOD_MASK_LOCK) && sym >= 'a' && sym <= 'z') sym -= 32;

    key = VstKeyCode{};
    if (state & XCB_MOD_MASK_SHIFT) key.modifier |= MODIFIER_SHIFT;
    if (state & XCB_MOD_MASK_CONTROL) key.modifier |= MODIFIER_CONTROL;
    if (state & XCB_MOD_MASK_1) key.modifier |= MODIFIER_ALTERNATE;
    switch (sym) {
    case 0xff08: key.virt = VKEY_BACK; return true;
    case 0xff09: key.virt = VKEY_TAB; return true;
    case 0xff0d: key.virt = VKEY_RETURN; return true;
    case 0xff8d: key.virt = VKEY_ENTER; return true;
    case 0xff1b: key.virt = VKEY_ESCAPE; return true;
    case 0xffff: key.virt = VKEY_DELETE; return true;
    case 0xff50: key.virt = VKEY_HOME; return true;
    case 0xff57: key.virt = VKEY_END; return true;
    case 0xff51: key.virt = VKEY_LEFT; return true;
    case 0xff52: key.virt = VKEY_UP; return true;
    case 0xff53: key.virt = VKEY_RIGHT; return true;
    case 0xff54: key.virt = VKEY_DOWN; return true;
    case 0x0020:
        key.virt = VKEY_SPACE;
        key.character = ' ';
        return true;
    default: break;
    }
    if (sym >= 0x20 && sym <= 0xff) {
        key.character = static_cast<VstInt32>(sym); // Latin-1 keysyms are their code points
        return true;
    }
    if ((sym & 0xff000000) == 0x01000000) {
        key.character = static_cast<VstInt32>(sym & 0x00ffffff); // Unicode keysyms
        return true;
    }
    return false;
}

} // namespace kelo::gui::xcb
