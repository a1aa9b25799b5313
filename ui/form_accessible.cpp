#include "ui/form_accessible.h"

#include <new>
#include <string>

#include "ui/accessible_ids.h"
#include "ui/windowless_control.h"

namespace ostrel::ui {

namespace {
// The client's children in child-id order: the child windows (ids 1..N, in their order), then
// the windowless controls that have an accessible role (in the order they were added).
struct Children {
    std::vector<HWND> windows;
    std::vector<const WindowlessControl*> controls;

    Children(HWND window, const std::vector<WindowlessControl*>& all) {
        for (HWND child = ::GetWindow(window, GW_CHILD); child;
             child = ::GetWindow(child, GW_HWNDNEXT))
            windows.push_back(child);
        for (const WindowlessControl* control : all)
            if (control->Role() != AccessibleRole::None) controls.push_back(control);
    }
    LONG Count() const { return static_cast<LONG>(windows.size() + controls.size()); }
    LONG IdOf(std::size_t control) const { return static_cast<LONG>(windows.size() + 1 + control); }
};

LONG SystemRole(AccessibleRole role) {
    return role == AccessibleRole::StaticText ? ROLE_SYSTEM_STATICTEXT : ROLE_SYSTEM_PUSHBUTTON;
}

VARIANT ChildId(LONG id) {
    VARIANT child;
    ::VariantInit(&child);
    child.vt = VT_I4;
    child.lVal = id;
    return child;
}

VARIANT Self() {
    return ChildId(CHILDID_SELF);
}

void SetI4(VARIANT* result, LONG value) {
    ::VariantInit(result);
    result->vt = VT_I4;
    result->lVal = value;
}

HRESULT NewString(const std::wstring& text, BSTR* result) {
    *result = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *result ? S_OK : E_OUTOFMEMORY;
}

// What a windowless control does not have.
HRESULT NotThere() {
    return DISP_E_MEMBERNOTFOUND;
}
}  // namespace

FormAccessible* FormAccessible::Create(HWND window,
                                       const std::vector<WindowlessControl*>& controls) {
    IAccessible* standard = nullptr;
    if (FAILED(::CreateStdAccessibleObject(window, OBJID_CLIENT, kIidAccessible,
                                           reinterpret_cast<void**>(&standard))) ||
        !standard)
        return nullptr;
    FormAccessible* made = new (std::nothrow) FormAccessible(window, controls, standard);
    if (!made) standard->Release();
    return made;
}

FormAccessible::FormAccessible(HWND window, const std::vector<WindowlessControl*>& controls,
                               IAccessible* standard)
    : window_(window), controls_(&controls) {
    standard_.Reset(standard);
}

void FormAccessible::Disconnect() {
    window_ = nullptr;
    controls_ = nullptr;
    standard_.Reset();
    // Clients in other processes are told at once; their next call fails in their proxy.
    ::CoDisconnectObject(static_cast<IAccessible*>(this), 0);
}

HRESULT FormAccessible::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == kIidAccessible) {
        *object = static_cast<IAccessible*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG FormAccessible::AddRef() {
    return ++references_;
}

ULONG FormAccessible::Release() {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

HRESULT FormAccessible::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}
HRESULT FormAccessible::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return E_NOTIMPL;
}
HRESULT FormAccessible::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}
HRESULT FormAccessible::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                               UINT*) {
    return E_NOTIMPL;
}

LONG FormAccessible::ChildCount() const {
    return Children(window_, *controls_).Count();
}

FormAccessible::Target FormAccessible::Resolve(const VARIANT& child) const {
    Target target;
    if (child.vt != VT_I4) return target;
    if (child.lVal == CHILDID_SELF) {
        target.self = true;
        return target;
    }
    const Children children(window_, *controls_);
    if (child.lVal < 1 || child.lVal > children.Count()) return target;
    const std::size_t index = static_cast<std::size_t>(child.lVal - 1);
    if (index < children.windows.size())
        target.window = children.windows[index];
    else
        target.control = children.controls[index - children.windows.size()];
    return target;
}

template <typename OnObject, typename OnControl>
HRESULT FormAccessible::Answer(const VARIANT& child, OnObject&& onObject, OnControl&& onControl) {
    try {
        if (!standard_) return RPC_E_DISCONNECTED;
        const Target target = Resolve(child);
        if (target.control) return onControl(*target.control);
        if (target.self) return onObject(*standard_.Get());
        if (!target.window) return E_INVALIDARG;
        win32::ComRef<IAccessible> object;
        const HRESULT result =
            ::AccessibleObjectFromWindow(target.window, static_cast<DWORD>(OBJID_WINDOW),
                                         kIidAccessible, reinterpret_cast<void**>(object.Put()));
        if (FAILED(result) || !object) return FAILED(result) ? result : E_FAIL;
        return onObject(*object.Get());
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

HRESULT FormAccessible::ChildVariant(LONG id, VARIANT* result) const {
    const Target target = Resolve(ChildId(id));
    if (target.window) {
        IDispatch* object = nullptr;
        const HRESULT made =
            ::AccessibleObjectFromWindow(target.window, static_cast<DWORD>(OBJID_WINDOW),
                                         IID_IDispatch, reinterpret_cast<void**>(&object));
        if (FAILED(made) || !object) return FAILED(made) ? made : E_FAIL;
        ::VariantInit(result);
        result->vt = VT_DISPATCH;
        result->pdispVal = object;
        return S_OK;
    }
    if (!target.control) return E_INVALIDARG;
    SetI4(result, id);
    return S_OK;
}

HRESULT FormAccessible::get_accParent(IDispatch** parent) {
    if (!parent) return E_POINTER;
    *parent = nullptr;
    return Answer(
        Self(), [&](IAccessible& object) { return object.get_accParent(parent); },
        [](const WindowlessControl&) { return E_INVALIDARG; });
}

HRESULT FormAccessible::get_accChildCount(LONG* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return Answer(
        Self(),
        [&](IAccessible&) {
            *count = ChildCount();
            return S_OK;
        },
        [](const WindowlessControl&) { return E_INVALIDARG; });
}

HRESULT FormAccessible::get_accChild(VARIANT child, IDispatch** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    return Answer(
        child,
        [&](IAccessible& found) {
            if (child.lVal == CHILDID_SELF) return E_INVALIDARG;
            return found.QueryInterface(IID_IDispatch, reinterpret_cast<void**>(object));
        },
        [](const WindowlessControl&) { return S_FALSE; });  // a simple child: no object
}

HRESULT FormAccessible::get_accName(VARIANT child, BSTR* name) {
    if (!name) return E_POINTER;
    *name = nullptr;
    return Answer(
        child, [&](IAccessible& object) { return object.get_accName(Self(), name); },
        [&](const WindowlessControl& control) {
            return NewString(control.AccessibleName(), name);
        });
}

HRESULT FormAccessible::get_accValue(VARIANT child, BSTR* value) {
    if (!value) return E_POINTER;
    *value = nullptr;
    return Answer(
        child, [&](IAccessible& object) { return object.get_accValue(Self(), value); },
        [](const WindowlessControl&) { return NotThere(); });
}

HRESULT FormAccessible::get_accDescription(VARIANT child, BSTR* description) {
    if (!description) return E_POINTER;
    *description = nullptr;
    return Answer(
        child, [&](IAccessible& object) { return object.get_accDescription(Self(), description); },
        [](const WindowlessControl&) { return NotThere(); });
}

HRESULT FormAccessible::get_accRole(VARIANT child, VARIANT* role) {
    if (!role) return E_POINTER;
    ::VariantInit(role);
    return Answer(
        child, [&](IAccessible& object) { return object.get_accRole(Self(), role); },
        [&](const WindowlessControl& control) {
            SetI4(role, SystemRole(control.Role()));
            return S_OK;
        });
}

HRESULT FormAccessible::get_accState(VARIANT child, VARIANT* state) {
    if (!state) return E_POINTER;
    ::VariantInit(state);
    return Answer(
        child, [&](IAccessible& object) { return object.get_accState(Self(), state); },
        [&](const WindowlessControl& control) {
            LONG flags = control.Role() == AccessibleRole::StaticText ? STATE_SYSTEM_READONLY : 0;
            if (!control.Visible()) flags |= STATE_SYSTEM_INVISIBLE;
            SetI4(state, flags);
            return S_OK;
        });
}

HRESULT FormAccessible::get_accHelp(VARIANT child, BSTR* help) {
    if (!help) return E_POINTER;
    *help = nullptr;
    return Answer(
        child, [&](IAccessible& object) { return object.get_accHelp(Self(), help); },
        [](const WindowlessControl&) { return NotThere(); });
}

HRESULT FormAccessible::get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) {
    if (!file || !topic) return E_POINTER;
    *file = nullptr;
    *topic = 0;
    return Answer(
        child, [&](IAccessible& object) { return object.get_accHelpTopic(file, Self(), topic); },
        [](const WindowlessControl&) { return NotThere(); });
}

HRESULT FormAccessible::get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) {
    if (!shortcut) return E_POINTER;
    *shortcut = nullptr;
    return Answer(
        child,
        [&](IAccessible& object) { return object.get_accKeyboardShortcut(Self(), shortcut); },
        [](const WindowlessControl&) { return NotThere(); });
}

HRESULT FormAccessible::get_accFocus(VARIANT* focus) {
    if (!focus) return E_POINTER;
    ::VariantInit(focus);
    return Answer(
        Self(), [&](IAccessible& object) { return object.get_accFocus(focus); },
        [](const WindowlessControl&) { return E_INVALIDARG; });
}

HRESULT FormAccessible::get_accSelection(VARIANT* selection) {
    if (!selection) return E_POINTER;
    ::VariantInit(selection);
    return Answer(
        Self(), [&](IAccessible& object) { return object.get_accSelection(selection); },
        [](const WindowlessControl&) { return E_INVALIDARG; });
}

HRESULT FormAccessible::get_accDefaultAction(VARIANT child, BSTR* action) {
    if (!action) return E_POINTER;
    *action = nullptr;
    return Answer(
        child, [&](IAccessible& object) { return object.get_accDefaultAction(Self(), action); },
        [](const WindowlessControl&) { return NotThere(); });
}

HRESULT FormAccessible::accSelect(LONG flags, VARIANT child) {
    return Answer(
        child, [&](IAccessible& object) { return object.accSelect(flags, Self()); },
        [](const WindowlessControl&) { return NotThere(); });
}

HRESULT FormAccessible::accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                    VARIANT child) {
    if (!left || !top || !width || !height) return E_POINTER;
    *left = *top = *width = *height = 0;
    return Answer(
        child,
        [&](IAccessible& object) { return object.accLocation(left, top, width, height, Self()); },
        [&](const WindowlessControl& control) {
            const RECT& bounds = control.Bounds();
            POINT origin{bounds.left, bounds.top};
            if (!::ClientToScreen(window_, &origin)) return E_FAIL;
            *left = origin.x;
            *top = origin.y;
            *width = bounds.right - bounds.left;
            *height = bounds.bottom - bounds.top;
            return S_OK;
        });
}

HRESULT FormAccessible::accNavigate(LONG direction, VARIANT start, VARIANT* end) {
    if (!end) return E_POINTER;
    ::VariantInit(end);
    // Among the children, by their order; anything else (spatial moves, the client's own
    // siblings) as the standard object answers it.
    const auto step = [&](LONG from) -> HRESULT {
        LONG id = 0;
        const LONG count = ChildCount();
        if (direction == NAVDIR_FIRSTCHILD)
            id = 1;
        else if (direction == NAVDIR_LASTCHILD)
            id = count;
        else if (direction == NAVDIR_NEXT)
            id = from + 1;
        else if (direction == NAVDIR_PREVIOUS)
            id = from - 1;
        if (id < 1 || id > count) return S_FALSE;
        return ChildVariant(id, end);
    };
    return Answer(
        start,
        [&](IAccessible& object) {
            const bool self = start.lVal == CHILDID_SELF;
            if (self && (direction == NAVDIR_FIRSTCHILD || direction == NAVDIR_LASTCHILD))
                return step(0);
            if (!self && (direction == NAVDIR_NEXT || direction == NAVDIR_PREVIOUS))
                return step(start.lVal);
            return object.accNavigate(direction, Self(), end);
        },
        [&](const WindowlessControl&) {
            if (direction == NAVDIR_NEXT || direction == NAVDIR_PREVIOUS) return step(start.lVal);
            return S_FALSE;
        });
}

HRESULT FormAccessible::accHitTest(LONG x, LONG y, VARIANT* child) {
    if (!child) return E_POINTER;
    ::VariantInit(child);
    return Answer(
        Self(),
        [&](IAccessible& object) {
            const HRESULT result = object.accHitTest(x, y, child);
            if (FAILED(result) || child->vt != VT_I4 || child->lVal != CHILDID_SELF) return result;
            // Over the client itself: the topmost visible windowless control there, if any.
            POINT point{x, y};
            if (!::ScreenToClient(window_, &point)) return result;
            const Children children(window_, *controls_);
            for (std::size_t i = children.controls.size(); i-- > 0;) {
                const WindowlessControl& control = *children.controls[i];
                if (control.Visible() && ::PtInRect(&control.Bounds(), point)) {
                    SetI4(child, children.IdOf(i));
                    return S_OK;
                }
            }
            return result;
        },
        [](const WindowlessControl&) { return E_INVALIDARG; });
}

HRESULT FormAccessible::accDoDefaultAction(VARIANT child) {
    return Answer(
        child, [&](IAccessible& object) { return object.accDoDefaultAction(Self()); },
        [](const WindowlessControl&) { return NotThere(); });
}

HRESULT FormAccessible::put_accName(VARIANT, BSTR) {
    return E_NOTIMPL;
}

HRESULT FormAccessible::put_accValue(VARIANT, BSTR) {
    return E_NOTIMPL;
}

void RaiseNameChange(HWND window, const std::vector<WindowlessControl*>& controls,
                     const WindowlessControl& control) {
    const Children children(window, controls);
    for (std::size_t i = 0; i < children.controls.size(); ++i) {
        if (children.controls[i] == &control) {
            ::NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, window, OBJID_CLIENT, children.IdOf(i));
            return;
        }
    }
}

}  // namespace ostrel::ui
