#pragma once

// The parts of the UI Automation provider API that the mingw-w64 headers lack: the pattern
// provider interfaces the components implement, their enumerations, and the event, control-type
// and landmark ids. Each block stands back when the system headers already declare it, so the
// full Windows SDK headers win where they exist. Pattern and property ids come from
// uiautomationclient.h.

#include <windows.h>
#include <ole2.h>
#include <uiautomationcore.h>
#include <uiautomationclient.h>

#ifndef UiaRootObjectId
// The WM_GETOBJECT object id that asks for a window's UI Automation provider.
#define UiaRootObjectId -25
#endif

#ifndef UIA_AutomationFocusChangedEventId
#define UIA_AutomationFocusChangedEventId (20005)
#endif
#ifndef UIA_LayoutInvalidatedEventId
#define UIA_LayoutInvalidatedEventId (20008)
#endif
#ifndef UIA_ChangesEventId
#define UIA_ChangesEventId (20034)
#endif

#ifndef UIA_ButtonControlTypeId
#define UIA_ButtonControlTypeId (50000)
#endif
#ifndef UIA_ProgressBarControlTypeId
#define UIA_ProgressBarControlTypeId (50012)
#endif
#ifndef UIA_WindowControlTypeId
#define UIA_WindowControlTypeId (50032)
#endif
#ifndef UIA_PaneControlTypeId
#define UIA_PaneControlTypeId (50033)
#endif
#ifndef UIA_TitleBarControlTypeId
#define UIA_TitleBarControlTypeId (50037)
#endif

#ifndef UIA_MainLandmarkTypeId
#define UIA_MainLandmarkTypeId (80002)
#endif

// The SDK declares these enumerations in the same header as the window pattern's interface.
#ifndef __IWindowProvider_INTERFACE_DEFINED__
enum WindowVisualState {
    WindowVisualState_Normal = 0,
    WindowVisualState_Maximized = 1,
    WindowVisualState_Minimized = 2
};

enum WindowInteractionState {
    WindowInteractionState_Running = 0,
    WindowInteractionState_Closing = 1,
    WindowInteractionState_ReadyForUserInteraction = 2,
    WindowInteractionState_BlockedByModalWindow = 3,
    WindowInteractionState_NotResponding = 4
};

enum ScrollAmount {
    ScrollAmount_LargeDecrement = 0,
    ScrollAmount_SmallDecrement = 1,
    ScrollAmount_NoAmount = 2,
    ScrollAmount_LargeIncrement = 3,
    ScrollAmount_SmallIncrement = 4
};
#endif

#ifndef __IInvokeProvider_INTERFACE_DEFINED__
#define __IInvokeProvider_INTERFACE_DEFINED__
MIDL_INTERFACE("54fcb24b-e18e-47a2-b4d3-eccbe77599a2")
IInvokeProvider : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE Invoke() = 0;
};
#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(IInvokeProvider, 0x54fcb24b, 0xe18e, 0x47a2, 0xb4, 0xd3, 0xec, 0xcb, 0xe7, 0x75, 0x99, 0xa2)
#endif
#endif

#ifndef __IRangeValueProvider_INTERFACE_DEFINED__
#define __IRangeValueProvider_INTERFACE_DEFINED__
MIDL_INTERFACE("36dc7aef-33e6-4691-afe1-2be7274b3d33")
IRangeValueProvider : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE SetValue(double value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Value(double* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsReadOnly(BOOL* readOnly) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Maximum(double* maximum) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Minimum(double* minimum) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_LargeChange(double* change) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_SmallChange(double* change) = 0;
};
#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(IRangeValueProvider, 0x36dc7aef, 0x33e6, 0x4691, 0xaf, 0xe1, 0x2b, 0xe7, 0x27, 0x4b, 0x3d, 0x33)
#endif
#endif

#ifndef __IWindowProvider_INTERFACE_DEFINED__
#define __IWindowProvider_INTERFACE_DEFINED__
MIDL_INTERFACE("987df77b-db06-4d77-8f8a-86a9c3bb90b9")
IWindowProvider : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE SetVisualState(enum WindowVisualState state) = 0;
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;
    virtual HRESULT STDMETHODCALLTYPE WaitForInputIdle(int milliseconds, BOOL* idle) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CanMaximize(BOOL* canMaximize) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CanMinimize(BOOL* canMinimize) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsModal(BOOL* modal) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_WindowVisualState(enum WindowVisualState* state) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_WindowInteractionState(enum WindowInteractionState* state) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsTopmost(BOOL* topmost) = 0;
};
#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(IWindowProvider, 0x987df77b, 0xdb06, 0x4d77, 0x8f, 0x8a, 0x86, 0xa9, 0xc3, 0xbb, 0x90, 0xb9)
#endif
#endif

#ifndef __IScrollProvider_INTERFACE_DEFINED__
#define __IScrollProvider_INTERFACE_DEFINED__
MIDL_INTERFACE("b38b8077-1fc3-42a5-8cae-d40c2215055a")
IScrollProvider : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE Scroll(enum ScrollAmount horizontalAmount, enum ScrollAmount verticalAmount) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetScrollPercent(double horizontalPercent, double verticalPercent) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_HorizontalScrollPercent(double* percent) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_VerticalScrollPercent(double* percent) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_HorizontalViewSize(double* size) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_VerticalViewSize(double* size) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_HorizontallyScrollable(BOOL* scrollable) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_VerticallyScrollable(BOOL* scrollable) = 0;
};
#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(IScrollProvider, 0xb38b8077, 0x1fc3, 0x42a5, 0x8c, 0xae, 0xd4, 0x0c, 0x22, 0x15, 0x05, 0x5a)
#endif
#endif

#ifndef __IScrollItemProvider_INTERFACE_DEFINED__
#define __IScrollItemProvider_INTERFACE_DEFINED__
MIDL_INTERFACE("2360c714-4bf1-4b26-ba65-9b21316127eb")
IScrollItemProvider : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE ScrollIntoView() = 0;
};
#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(IScrollItemProvider, 0x2360c714, 0x4bf1, 0x4b26, 0xba, 0x65, 0x9b, 0x21, 0x31, 0x61, 0x27, 0xeb)
#endif
#endif
