// Reads a window's accessible objects from outside its process, as a screen reader does, and
// prints what it finds, one line per child of the window's client object (a child window
// through its own client object):
//     child <TAB> ROLE <TAB> NAME <TAB> LEFT,TOP,WIDTH,HEIGHT <TAB> NAME AT ITS CENTRE
// (the last as the pointer finds it there, through AccessibleObjectFromPoint).
// Usage: ostrel_msaa_probe HWND [READY_EVENT CHANGES]
// With READY_EVENT (the name of an event object) and CHANGES it then watches the window for
// name changes, sets the event once watching, prints each change it is told of as
//     changed <TAB> NAME
// (the name read back through the event's object, as a screen reader announces it), and after
// CHANGES of them prints the children again. Exits 0 when every call succeeded.
#include <windows.h>
#include <oleacc.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "ui/accessible_ids.h"
#include "win32/scoped.h"
#include "win32/wide_string.h"

namespace {
using ostrel::ui::kIidAccessible;
using ostrel::win32::ComRef;

HWND target = nullptr;
int changesLeft = 0;
int failures = 0;

void Print(const std::string& line) {
    DWORD written = 0;
    const std::string text = line + "\n";
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()),
                &written, nullptr);
}

void Failed(const char* what, HRESULT result) {
    char text[96];
    std::snprintf(text, sizeof(text), "error\t%s\t0x%08lX", what,
                  static_cast<unsigned long>(result));
    Print(text);
    ++failures;
}

VARIANT ChildId(LONG id) {
    VARIANT child;
    ::VariantInit(&child);
    child.vt = VT_I4;
    child.lVal = id;
    return child;
}

std::string NameOf(IAccessible& object, const VARIANT& child) {
    BSTR name = nullptr;
    const HRESULT result = object.get_accName(child, &name);
    if (FAILED(result)) Failed("get_accName", result);
    std::string text = name ? ostrel::win32::WideToUtf8(name) : std::string();
    ::SysFreeString(name);
    return text;
}

void PrintChild(IAccessible& object, const VARIANT& child) {
    VARIANT role;
    ::VariantInit(&role);
    HRESULT result = object.get_accRole(child, &role);
    if (FAILED(result) || role.vt != VT_I4) Failed("get_accRole", result);
    LONG left = 0, top = 0, width = 0, height = 0;
    result = object.accLocation(&left, &top, &width, &height, child);
    if (FAILED(result)) Failed("accLocation", result);
    ComRef<IAccessible> there;
    VARIANT thereChild;
    ::VariantInit(&thereChild);
    result = ::AccessibleObjectFromPoint(POINT{left + width / 2, top + height / 2}, there.Put(),
                                         &thereChild);
    std::string thereName;
    if (FAILED(result) || !there)
        Failed("AccessibleObjectFromPoint", result);
    else
        thereName = NameOf(*there.Get(), thereChild);
    Print("child\t" + std::to_string(role.vt == VT_I4 ? role.lVal : -1) + "\t" +
          NameOf(object, child) + "\t" + std::to_string(left) + "," + std::to_string(top) + "," +
          std::to_string(width) + "," + std::to_string(height) + "\t" + thereName);
    ::VariantClear(&role);
    ::VariantClear(&thereChild);
}

void Walk() {
    ComRef<IAccessible> client;
    HRESULT result =
        ::AccessibleObjectFromWindow(target, static_cast<DWORD>(OBJID_CLIENT), kIidAccessible,
                                     reinterpret_cast<void**>(client.Put()));
    if (FAILED(result) || !client) return Failed("AccessibleObjectFromWindow", result);
    LONG count = 0;
    result = client->get_accChildCount(&count);
    if (FAILED(result)) return Failed("get_accChildCount", result);
    VARIANT children[64];
    if (count < 0 || count > 64) return Failed("get_accChildCount", E_UNEXPECTED);
    LONG got = 0;
    result = ::AccessibleChildren(client.Get(), 0, count, children, &got);
    if (FAILED(result) || got != count) Failed("AccessibleChildren", result);
    for (LONG i = 0; i < got; ++i) {
        VARIANT& child = children[i];
        if (child.vt == VT_DISPATCH && child.pdispVal) {
            // A child window: read through its client object, as a screen reader presents it.
            ComRef<IAccessible> object;
            HWND window = nullptr;
            result = child.pdispVal->QueryInterface(kIidAccessible,
                                                    reinterpret_cast<void**>(object.Put()));
            if (SUCCEEDED(result)) result = ::WindowFromAccessibleObject(object.Get(), &window);
            if (SUCCEEDED(result))
                result = ::AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT),
                                                      kIidAccessible,
                                                      reinterpret_cast<void**>(object.Put()));
            if (SUCCEEDED(result))
                PrintChild(*object.Get(), ChildId(CHILDID_SELF));
            else
                Failed("child window", result);
        } else if (child.vt == VT_I4) {
            PrintChild(*client.Get(), child);
        } else {
            Failed("AccessibleChildren", E_UNEXPECTED);
        }
        ::VariantClear(&child);
    }
}

void CALLBACK OnNameChange(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG child, DWORD,
                           DWORD) {
    if (window != target || object != OBJID_CLIENT) return;
    ComRef<IAccessible> accessible;
    VARIANT id;
    ::VariantInit(&id);
    const HRESULT result = ::AccessibleObjectFromEvent(
        window, static_cast<DWORD>(object), static_cast<DWORD>(child), accessible.Put(), &id);
    if (FAILED(result) || !accessible) {
        Failed("AccessibleObjectFromEvent", result);
    } else {
        Print("changed\t" + NameOf(*accessible.Get(), id));
    }
    ::VariantClear(&id);
    if (--changesLeft <= 0) ::PostQuitMessage(0);
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4) return 2;
    target = reinterpret_cast<HWND>(static_cast<INT_PTR>(std::strtoll(argv[1], nullptr, 10)));
    const ostrel::win32::ComApartment com;
    if (!com.Ok()) return 2;
    Walk();
    if (argc == 4) {
        changesLeft = std::atoi(argv[3]);
        DWORD process = 0;
        ::GetWindowThreadProcessId(target, &process);
        HWINEVENTHOOK hook =
            ::SetWinEventHook(EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_NAMECHANGE, nullptr,
                              &OnNameChange, process, 0, WINEVENT_OUTOFCONTEXT);
        if (!hook) return 3;
        const ostrel::win32::Handle ready(::OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]));
        if (!ready || !::SetEvent(ready.Get())) return 3;
        MSG message{};
        while (changesLeft > 0 && ::GetMessageW(&message, nullptr, 0, 0) > 0)
            ::DispatchMessageW(&message);
        ::UnhookWinEvent(hook);
        Walk();
    }
    return failures == 0 ? 0 : 1;
}
