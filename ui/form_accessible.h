#pragma once
// What a screen reader finds in a form's client area: the standard client object of its window,
// with the windowless controls that have an accessible role added as simple children after the
// child windows. Child ids run 1..N over the child windows in their order, then on over those
// controls in the order they were added to the form.
//
// The form answers WM_GETOBJECT (OBJID_CLIENT) with it. A client may hold on to it after the
// window has gone: Disconnect (when the window goes) makes every call fail with
// RPC_E_DISCONNECTED from then on.
#include <windows.h>
#include <oleacc.h>

#include <atomic>
#include <vector>

#include "win32/scoped.h"

namespace ostrel::ui {

class WindowlessControl;

class FormAccessible final : public IAccessible {
  public:
    // With one reference for the caller, or nullptr when the standard object cannot be made.
    // `controls` (bottom first, as the form paints them) must stay until Disconnect.
    static FormAccessible* Create(HWND window, const std::vector<WindowlessControl*>& controls);

    void Disconnect();

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IDispatch: not offered; clients call IAccessible directly.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override;
    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override;
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override;
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override;
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override;
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override;
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override;
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override;
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override;
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override;
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override;
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override;
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override;
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override;
    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override;
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                          VARIANT child) override;
    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override;
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* child) override;
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override;
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override;
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override;

  private:
    FormAccessible(HWND window, const std::vector<WindowlessControl*>& controls,
                   IAccessible* standard);
    ~FormAccessible() = default;

    // What a child id names: the client itself, a child window or a windowless control.
    struct Target {
        bool self = false;
        HWND window = nullptr;
        const WindowlessControl* control = nullptr;
    };
    Target Resolve(const VARIANT& child) const;
    // Answers for the client itself (through the standard object) or a child window (through
    // its own object), or for a windowless control; catches everything.
    template <typename OnObject, typename OnControl>
    HRESULT Answer(const VARIANT& child, OnObject&& onObject, OnControl&& onControl);
    LONG ChildCount() const;
    HRESULT ChildVariant(LONG id, VARIANT* result) const;

    std::atomic<ULONG> references_{1};
    HWND window_;
    const std::vector<WindowlessControl*>* controls_;
    win32::ComRef<IAccessible> standard_;
};

// Tells screen readers that a windowless control's accessible name has changed.
void RaiseNameChange(HWND window, const std::vector<WindowlessControl*>& controls,
                     const WindowlessControl& control);

}  // namespace ostrel::ui
