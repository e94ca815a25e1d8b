// Property sheets built from a table of pages, with the test pressing the buttons.
#include <zo/pertask.h>
#include <zo/zodialog.h>

#include <gtest/gtest.h>

#include "platform/module.h"
#include "support/alloc_failure.h"
#include "support/windows.h"

namespace {

namespace plat = zo::plat;
using zotest::text;

void *dialogModule() {
    static void *module = plat::moduleLoad(text(ZO_TEST_DIALOGS), mdsCharLengthTable());
    return module;
}

intptr_t g_parameterSeen = 0;

intptr_t pageProc(HWND, uint32_t message, uintptr_t, intptr_t lParam) {
    if (message == plat::kMsgInitDialog)
        g_parameterSeen = reinterpret_cast<const plat::PropertySheetPage *>(lParam)->lParam;
    return 0;
}

// Presses the given button of the sheet the first time the sheet waits for the user.
struct PressButton {
    explicit PressButton(int id) : id(id) {
        plat::setModalIdleHook(
            [](void *context, HWND sheet) {
                auto *self = static_cast<PressButton *>(context);
                ++self->waits;
                plat::sendMessage(plat::dialogItem(sheet, static_cast<uintptr_t>(self->id)), plat::kButtonClick, 0, 0);
            },
            this);
    }
    ~PressButton() { plat::setModalIdleHook(nullptr, nullptr); }
    int id;
    int waits = 0;
};

struct Sheet {
    ZoPropertySheetEntry pages[2] = {
        {text("Connection"), 101, pageProc, 42, 8, 0, nullptr, 0},
        {text("Options"), 102, pageProc, 43, 8, 0, nullptr, 0},
    };
    ZoPropertySheetDescription description{nullptr, 0, dialogModule(), text("Data Source Setup"), 0, 2, pages};
    ZoPropertySheet sheet{&description};
};

TEST(ZoPropertySheetRun, OkSucceedsCancelFails) {
    ASSERT_NE(dialogModule(), nullptr);
    Sheet s;
    {
        PressButton ok(plat::kIdOk);
        g_parameterSeen = 0;
        EXPECT_EQ(s.sheet.CreatePropertySheet(), ZoSuccess);
        EXPECT_EQ(ok.waits, 1);
    }
    EXPECT_EQ(g_parameterSeen, 42);
    EXPECT_NE(s.pages[0].page, nullptr);
    EXPECT_NE(s.pages[1].page, nullptr);
    PressButton cancel(plat::kIdCancel);
    EXPECT_EQ(s.sheet.CreatePropertySheet(), ZoFailure);
}

TEST(ZoPropertySheetRun, WithoutMemoryForItsTablesTheSheetIsNotShown) {
    Sheet s;
    PressButton ok(plat::kIdOk);
    const uint32_t windows = plat::windowCount();
    for (uint32_t k = 1; k <= 4; ++k) { // the two tables, then the two pages
        ramTestFailAllocation(k, false);
        EXPECT_EQ(s.sheet.CreatePropertySheet(), ZoFailure) << "allocation " << k;
        ramTestFailAllocation(0, false);
        EXPECT_EQ(ok.waits, 0);
        EXPECT_EQ(plat::windowCount(), windows);
    }
}

TEST(ZoPropertySheetRun, AnEmptyTableShowsNothing) {
    Sheet s;
    s.description.pageCount = 0;
    EXPECT_EQ(s.sheet.CreatePropertySheet(), ZoFailure);
    ZoPropertySheet none(nullptr);
    EXPECT_EQ(none.CreatePropertySheet(), ZoFailure);
}

} // namespace
