// Helpers for the drivers' configuration dialogs: yes/no settings, unique keyboard
// accelerators in dialog and menu texts, paths shortened to fit a control, owner-drawn
// list items with an icon, property sheets built from a table, centring a window, and a
// pointer kept on a window.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>
#include <zo/zoobject.h>
#include <zo/zowindow.h>

// 1 when the text starts with 1, with t or T, or with o or O followed by n or N (TRUE, t, 1,
// On, one); 0 otherwise and for a null text. Only the first two characters are looked at.
ZO_API unsigned short isTrueStr(const unsigned char *text);

// Copies the accelerator marker string (text 21800 of the resource library, such as "&")
// into out (at most 255 bytes and a terminator), or an empty text when there is none.
ZO_API void getMenuAccelerator(unsigned char *out);
// used is a set of 256 bits (32 bytes) of the accelerator characters taken. When text holds
// a character of the marker string (tried in the marker string's order), the character
// after the first one found is lower-cased and its bit (byte / 8, bit byte % 8) is set.
ZO_API void setAcceleratorKey(unsigned char *used, const unsigned char *text);
// Gives text an accelerator that is not in used yet and records it there. With argument,
// text is a format whose %s is replaced by the argument (%% gives %; nothing else is
// interpreted). A text that already holds a marker keeps it; otherwise the marker goes
// before the first character that is neither white space nor the ideographic space and is
// not taken (before the first character when all are). The formatted text is cut to 254
// bytes, so that text needs room for 256 bytes when it may grow.
ZO_API void makeDialogText(unsigned char *used, unsigned char *text, const unsigned char *argument);

// Which part of a path fitPathInControl keeps whole.
enum ZOFITPATHOPTION : int { ZoFitKeepFile = 0, ZoFitKeepDirectoryAndFile = 1 };
// Sets the control's text to path (at most 255 bytes), shortened with ".." in place of
// leading directories when the whole path is wider than the control's client area in the
// control's font. 1 when a text was set, 0 (the control left alone) when no form fits.
ZO_API int fitPathInControl(HWND control, const unsigned char *path, ZOFITPATHOPTION option);

// measureItem is the address of a ZoMeasureItemRecord: its item height becomes extra plus
// the height of the text "A" in the window's font. 1, or 0 when measureItem is 0.
ZO_API int zoMeasureItem(HWND window, intptr_t measureItem, uint32_t extra);
// Draws an owner-drawn item: the highlight colour (selected) or the window colour, the icon
// named iconName of instance at 4, 3 from the item's corner, the text at 39, 11 in the
// highlight-text or window-text colour, clipped to the item, and the focus rectangle when
// the item has the focus. The device context's colours and mode are restored.
ZO_API void zoOwnerDrawControl(HINSTANCE instance, ZoDrawItemRecord *item, unsigned char *text,
                               unsigned char *iconName);

// A page of a property sheet (32 bytes on the 32-bit platform; pointer-sized fields here).
struct ZoPropertySheetEntry {
    const unsigned char *title;
    uint16_t templateId; // the page's dialog template in the description's instance
    ZoDialogProc dialogProc;
    intptr_t parameter; // handed to the page with its init message
    uint32_t pageFlags; // the platform's page flags (8: use the title)
    uintptr_t reserved1;
    void *page; // filled in by CreatePropertySheet
    uintptr_t reserved2;
};
// What a property sheet is built from.
struct ZoPropertySheetDescription {
    HWND parent;
    uintptr_t reserved;
    HINSTANCE instance;
    const unsigned char *caption;
    uint32_t sheetFlags;
    uint32_t pageCount;
    ZoPropertySheetEntry *pages;
};

class ZO_API ZoPropertySheet : public ZoObject {
public:
    explicit ZoPropertySheet(ZoPropertySheetDescription *description) : description_(description) {}
    // Creates the pages and runs the sheet modally. 0 when the user closed it with OK, 1 when
    // with Cancel or when it could not be shown (memory for the page tables included).
    ZoStatus CreatePropertySheet();

private:
    ZoPropertySheetDescription *description_;
};

// Centres the window over its parent's rectangle (over the screen when it has no parent or
// its top-level ancestor is minimised), kept on the screen.
ZO_API void winCenterBox(HWND window);

// One pointer kept on a window (the property "Handle"), and a second one (the property
// "ScaleH") selected by the forms with a 16-bit argument, which is not otherwise used.
ZO_API void zoSetWinPointer(HWND window, void *pointer);
ZO_API void *zoGetWinPointer(HWND window);
ZO_API void zoRemoveWinPointer(HWND window);
ZO_API void zoSetWinPointer(HWND window, void *pointer, unsigned short second);
ZO_API void *zoGetWinPointer(HWND window, unsigned short second);
ZO_API void zoRemoveWinPointer(HWND window, unsigned short second);
