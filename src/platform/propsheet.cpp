// Property sheets: a captioned dialog with a row of page tabs, the page area and the OK
// and Cancel buttons. Pages are dialogs made from their templates when first shown; OK
// asks the shown page to let go, then every page made to apply; Cancel tells them to
// reset.
#include "platform/draw.h"
#include "platform/memory.h"
#include "platform/winint.h"

#include <cstring>

namespace zo::plat {

namespace {

struct Page {
    PropertySheetPage record; // the copy handed to the page with the init message
    const DialogTemplate *dialogTemplate;
    HWND window;
};

struct Sheet {
    HWND window;
    Page **pages;
    uint32_t count;
    uint32_t current;
    ZoRect pageArea;
};

constexpr int32_t kMargin = 7, kTabHeight = 20, kButtonWidth = 75, kButtonHeight = 23;

Sheet *sheetOf(HWND window) { return reinterpret_cast<Sheet *>(windowField(window, kDialogUserField)); }

const unsigned char *pageTitle(const Page *page) {
    if ((page->record.flags & kPageUseTitle) && page->record.title != nullptr)
        return page->record.title;
    return reinterpret_cast<const unsigned char *>(
        page->dialogTemplate->caption != nullptr ? page->dialogTemplate->caption : "");
}

// Sends a page notification; the page's answer (its dialog result field).
intptr_t notify(Sheet *sheet, HWND page, uint32_t code) {
    NotifyHeader header{sheet->window, 0, code};
    setWindowField(page, kDialogResultField, 0);
    return sendMessage(page, kMsgNotify, 0, reinterpret_cast<intptr_t>(&header));
}

// Makes the page's dialog (a child in the page area) the first time it is shown.
bool makePage(Sheet *sheet, Page *page) {
    if (page->window != nullptr)
        return true;
    DialogTemplate pageTemplate = *page->dialogTemplate;
    pageTemplate.style =
        (pageTemplate.style & ~(kStylePopup | kStyleCaption | kStyleThickFrame | kStyleVisible)) | kStyleChild;
    page->window = createDialog(pageTemplate, page->record.instance, sheet->window, page->record.dialogProc,
                                reinterpret_cast<intptr_t>(&page->record));
    if (page->window == nullptr)
        return false;
    moveWindow(page->window, sheet->pageArea.left, sheet->pageArea.top, sheet->pageArea.right - sheet->pageArea.left,
               sheet->pageArea.bottom - sheet->pageArea.top, true);
    return true;
}

bool activate(Sheet *sheet, uint32_t index) {
    if (index >= sheet->count)
        return false;
    Page *shown = sheet->pages[sheet->current];
    if (shown->window != nullptr && index != sheet->current) {
        if (notify(sheet, shown->window, kPageKillActive) != 0)
            return false; // the page keeps the focus (its data is not valid)
        showWindow(shown->window, kShowHide);
    }
    Page *page = sheet->pages[index];
    if (!makePage(sheet, page))
        return false;
    sheet->current = index;
    (void)notify(sheet, page->window, kPageSetActive); // a page may not refuse to be shown here
    showWindow(page->window, kShowShow);
    invalidateWindow(sheet->window);
    return true;
}

// OK: the shown page must let go, then every page made applies; a page that answers
// nonzero keeps the sheet open.
void pressOk(Sheet *sheet) {
    if (notify(sheet, sheet->pages[sheet->current]->window, kPageKillActive) != 0)
        return;
    for (uint32_t i = 0; i < sheet->count; ++i)
        if (sheet->pages[i]->window != nullptr && notify(sheet, sheet->pages[i]->window, kPageApply) != 0)
            return;
    endModalLoop(sheet->window, 1);
}

void pressCancel(Sheet *sheet) {
    for (uint32_t i = 0; i < sheet->count; ++i)
        if (sheet->pages[i]->window != nullptr)
            (void)notify(sheet, sheet->pages[i]->window, kPageReset); // reset cannot be refused
    endModalLoop(sheet->window, 0);
}

void paintTabs(Sheet *sheet) {
    void *dc = beginPaint(sheet->window);
    if (dc == nullptr)
        return;
    setTransparentBackground(dc, true);
    int32_t x = kMargin;
    for (uint32_t i = 0; i < sheet->count; ++i) {
        const unsigned char *title = pageTitle(sheet->pages[i]);
        uint32_t length = static_cast<uint32_t>(std::strlen(reinterpret_cast<const char *>(title)));
        int32_t width = 0, height = 0;
        textExtent(dc, title, length, &width, &height);
        ZoRect tab{x, kMargin, x + width + 12, kMargin + kTabHeight};
        fillRect(dc, tab, systemColour(ColourButtonShadow));
        fillRect(dc, ZoRect{tab.left + 1, tab.top + 1, tab.right - 1, tab.bottom},
                 systemColour(i == sheet->current ? ColourButtonHighlight : ColourButtonFace));
        textOut(dc, tab.left + 6, tab.top + (kTabHeight - height) / 2, title, length);
        x = tab.right + 2;
    }
    endPaint(sheet->window, dc);
}

intptr_t sheetProc(HWND window, uint32_t message, uintptr_t wParam, intptr_t) {
    Sheet *sheet = sheetOf(window);
    if (sheet == nullptr)
        return 0;
    switch (message) {
    case kMsgCommand:
        if ((wParam & 0xFFFF) == static_cast<uintptr_t>(kIdOk))
            pressOk(sheet);
        else if ((wParam & 0xFFFF) == static_cast<uintptr_t>(kIdCancel))
            pressCancel(sheet);
        return 1;
    case kSheetSetCurrentPage: return activate(sheet, static_cast<uint32_t>(wParam)) ? 1 : 0;
    case kMsgPaint: paintTabs(sheet); return 1;
    default: return 0;
    }
}

HWND makeButton(HWND parent, int id, const char *text, int32_t x, int32_t y, bool isDefault) {
    WindowCreate button;
    button.className = kButtonClass;
    button.title = reinterpret_cast<const unsigned char *>(text);
    button.style = kStyleChild | kStyleVisible | kStyleTabStop | (isDefault ? kButtonDefPush : 0);
    button.x = x;
    button.y = y;
    button.width = kButtonWidth;
    button.height = kButtonHeight;
    button.parent = parent;
    button.id = static_cast<uintptr_t>(id);
    return createWindow(button);
}

// The sheet's window, sized for its largest page, centred on the screen.
HWND makeSheetWindow(const PropertySheetHeader *header, Sheet *sheet) {
    int32_t pageWidth = 0, pageHeight = 0;
    for (uint32_t i = 0; i < sheet->count; ++i) {
        const DialogTemplate *t = sheet->pages[i]->dialogTemplate;
        pageWidth = t->width > pageWidth ? t->width : pageWidth;
        pageHeight = t->height > pageHeight ? t->height : pageHeight;
    }
    int32_t clientWidth = pageWidth + 2 * kMargin;
    if (clientWidth < 2 * kButtonWidth + 3 * kMargin)
        clientWidth = 2 * kButtonWidth + 3 * kMargin;
    int32_t clientHeight = 3 * kMargin + kTabHeight + pageHeight + kButtonHeight;
    sheet->pageArea = ZoRect{kMargin, kMargin + kTabHeight, kMargin + pageWidth, kMargin + kTabHeight + pageHeight};
    DialogTemplate frame{reinterpret_cast<const char *>(header->caption != nullptr
                                                            ? header->caption
                                                            : reinterpret_cast<const unsigned char *>("")),
                         kStylePopup | kStyleCaption | kStyleSysMenu | kStyleVisible,
                         clientWidth,
                         clientHeight,
                         0,
                         nullptr};
    HWND window = createDialog(frame, header->instance, header->parent, nullptr, 0);
    if (window == nullptr)
        return nullptr;
    sheet->window = window;
    setWindowField(window, kDialogUserField, reinterpret_cast<intptr_t>(sheet));
    setWindowField(window, kDialogProcField, reinterpret_cast<intptr_t>(&sheetProc));
    const int32_t buttonsTop = clientHeight - kMargin - kButtonHeight;
    if (makeButton(window, kIdCancel, "Cancel", clientWidth - kMargin - kButtonWidth, buttonsTop, false) == nullptr ||
        makeButton(window, kIdOk, "OK", clientWidth - 2 * (kMargin + kButtonWidth), buttonsTop, true) == nullptr) {
        destroyWindow(window);
        return nullptr;
    }
    return window;
}

bool validHeader(const PropertySheetHeader *header) {
    if (header == nullptr || header->size != sizeof(PropertySheetHeader) || header->pageCount == 0 ||
        header->pages == nullptr)
        return false;
    for (uint32_t i = 0; i < header->pageCount; ++i)
        if (header->pages[i] == nullptr)
            return false;
    return true;
}

intptr_t runSheet(const PropertySheetHeader *header) {
    if (!validHeader(header))
        return -1;
    Sheet sheet{nullptr, reinterpret_cast<Page **>(header->pages), header->pageCount,
                header->startPage < header->pageCount ? header->startPage : 0, ZoRect{}};
    for (uint32_t i = 0; i < sheet.count; ++i) {
        Page *page = sheet.pages[i];
        page->window = nullptr;
        page->dialogTemplate =
            findDialogTemplate(page->record.instance, static_cast<unsigned>(page->record.templateId));
        if (page->dialogTemplate == nullptr)
            return -1;
    }
    if (makeSheetWindow(header, &sheet) == nullptr)
        return -1;
    intptr_t result = -1;
    if (activate(&sheet, sheet.current))
        result = runModalLoop(sheet.window);
    destroyWindow(sheet.window);
    return result;
}

} // namespace

void *createPropertySheetPage(const PropertySheetPage *page) {
    if (page == nullptr || page->size != sizeof(PropertySheetPage))
        return nullptr;
    auto *made = static_cast<Page *>(heapAlloc(sizeof(Page), true));
    if (made != nullptr)
        made->record = *page;
    return made;
}

void destroyPropertySheetPage(void *page) { heapFree(page); }

intptr_t propertySheet(const PropertySheetHeader *header) {
    intptr_t result = runSheet(header);
    if (header != nullptr && header->pages != nullptr)
        for (uint32_t i = 0; i < header->pageCount; ++i)
            destroyPropertySheetPage(header->pages[i]);
    return result;
}

} // namespace zo::plat
