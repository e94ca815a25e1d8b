// Handles and records of windows, as the library's window and dialog helpers take them.
//
// Window and module handles are opaque pointers, declared exactly as the ODBC headers
// declare them (`typedef void *HWND`), so that a driver can include both. The records keep
// the fields of the platform's owner-drawn item records, with 32-bit numbers and
// pointer-sized handles.
#pragma once

#include <cstdint>

typedef void *HWND;      // a window; null is none
typedef void *HINSTANCE; // a module (the handles of <zo/cntdblib.h>)

// A rectangle: left and top inside, right and bottom just outside.
struct ZoRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// A window procedure, and a dialog procedure (which answers nonzero for a message it handled).
using ZoWindowProc = intptr_t (*)(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam);
using ZoDialogProc = intptr_t (*)(HWND dialog, uint32_t message, uintptr_t wParam, intptr_t lParam);

// The state bits of an owner-drawn item.
constexpr uint32_t ZoItemSelected = 0x0001;
constexpr uint32_t ZoItemFocus = 0x0010;

// What an owner-drawn control asks its owner to draw: one item, in the device context `dc`,
// inside `itemRect`.
struct ZoDrawItemRecord {
    uint32_t controlType;
    uint32_t controlId;
    uint32_t itemId;
    uint32_t itemAction;
    uint32_t itemState; // ZoItemSelected, ZoItemFocus
    HWND itemWindow;
    void *dc;
    ZoRect itemRect;
    uintptr_t itemData;
};

// What an owner-drawn control asks its owner to measure: the height (and width) of an item.
struct ZoMeasureItemRecord {
    uint32_t controlType;
    uint32_t controlId;
    uint32_t itemId;
    uint32_t itemWidth;
    uint32_t itemHeight;
    uintptr_t itemData;
};
