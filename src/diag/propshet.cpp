// Property sheets built from a table of pages and run modally.
#include <zo/ramalloc.h>
#include <zo/zodialog.h>

#include "platform/window.h"

namespace {

namespace plat = zo::plat;

plat::PropertySheetPage pageRecord(const ZoPropertySheetDescription &description, const ZoPropertySheetEntry &entry) {
    plat::PropertySheetPage record{};
    record.size = sizeof record;
    record.flags = entry.pageFlags;
    record.instance = description.instance;
    record.templateId = entry.templateId;
    record.title = entry.title;
    record.dialogProc = entry.dialogProc;
    record.lParam = entry.parameter;
    return record;
}

// Creates a page for every entry, storing each handle in its entry and in handles. When a
// page cannot be made, the ones made are destroyed again and false is returned.
bool createPages(ZoPropertySheetDescription &description, plat::PropertySheetPage *records, void **handles) {
    for (uint32_t i = 0; i < description.pageCount; ++i) {
        ZoPropertySheetEntry &entry = description.pages[i];
        records[i] = pageRecord(description, entry);
        entry.page = handles[i] = plat::createPropertySheetPage(&records[i]);
        if (handles[i] != nullptr)
            continue;
        while (i-- > 0) {
            plat::destroyPropertySheetPage(handles[i]);
            description.pages[i].page = nullptr;
        }
        return false;
    }
    return true;
}

intptr_t runSheet(const ZoPropertySheetDescription &description, void **handles) {
    plat::PropertySheetHeader header{};
    header.size = sizeof header;
    header.flags = description.sheetFlags;
    header.parent = description.parent;
    header.instance = description.instance;
    header.caption = description.caption;
    header.pageCount = description.pageCount;
    header.pages = handles;
    return plat::propertySheet(&header);
}

} // namespace

ZoStatus ZoPropertySheet::CreatePropertySheet() {
    if (description_ == nullptr || description_->pages == nullptr || description_->pageCount == 0 ||
        description_->pageCount > UINT32_MAX / sizeof(plat::PropertySheetPage))
        return ZoFailure;
    const uint32_t count = description_->pageCount;
    auto *records = static_cast<plat::PropertySheetPage *>(ramAlloc(count * uint32_t{sizeof(plat::PropertySheetPage)}));
    auto *handles = static_cast<void **>(ramAlloc(count * uint32_t{sizeof(void *)}));
    intptr_t result = -1;
    if (records != nullptr && handles != nullptr && createPages(*description_, records, handles))
        result = runSheet(*description_, handles);
    ramFree(records);
    ramFree(handles);
    return result != 0 && result != -1 ? ZoSuccess : ZoFailure;
}
