// Modal loops and property sheets of the headless layer, with the test playing the user.
#include "platform/window.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include <zo/pertask.h>

#include "platform/module.h"
#include "platform/thread.h"
#include "support/windows.h"

namespace {

namespace plat = zo::plat;
using zotest::text;

// The module with the test's dialog templates (101 General, 102 Advanced).
void *dialogModule() {
    static void *module = plat::moduleLoad(text(ZO_TEST_DIALOGS), mdsCharLengthTable());
    return module;
}

// Plays the user while the modal loop waits: runs `act` once with the modal window.
class User {
public:
    explicit User(std::function<void(HWND)> act) : act_(std::move(act)) {
        plat::setModalIdleHook(
            [](void *context, HWND modal) {
                auto *user = static_cast<User *>(context);
                if (!user->acted_) {
                    user->acted_ = true;
                    user->act_(modal);
                }
            },
            this);
    }
    ~User() { plat::setModalIdleHook(nullptr, nullptr); }

private:
    std::function<void(HWND)> act_;
    bool acted_ = false;
};

void postKey(uintptr_t key) {
    plat::WindowMessage m;
    m.message = plat::kMsgKeyDown;
    m.wParam = key;
    ASSERT_TRUE(plat::postThreadMessage(plat::currentThreadId(), m));
}

// What the pages saw: their init parameters and notifications.
std::vector<std::string> &pageLog() {
    static std::vector<std::string> log;
    return log;
}
intptr_t g_refuseToLeave = 0;

intptr_t pageProc(HWND page, uint32_t message, uintptr_t, intptr_t lParam) {
    if (message == plat::kMsgInitDialog) {
        auto *record = reinterpret_cast<const plat::PropertySheetPage *>(lParam);
        pageLog().push_back("init " + std::to_string(record->lParam));
        return 1;
    }
    if (message != plat::kMsgNotify)
        return 0;
    uint32_t code = reinterpret_cast<const plat::NotifyHeader *>(lParam)->code;
    const char *name = code == plat::kPageSetActive    ? "active"
                       : code == plat::kPageKillActive ? "leave"
                       : code == plat::kPageApply      ? "apply"
                       : code == plat::kPageReset      ? "reset"
                                                       : "other";
    pageLog().push_back(name);
    if (code == plat::kPageKillActive)
        plat::setWindowField(page, plat::kDialogResultField, g_refuseToLeave);
    return 1;
}

intptr_t runSheet(HWND parent) {
    void *pages[2];
    for (int i = 0; i < 2; ++i) {
        plat::PropertySheetPage record{};
        record.size = sizeof record;
        record.instance = dialogModule();
        record.templateId = 101 + static_cast<uintptr_t>(i);
        record.dialogProc = pageProc;
        record.lParam = 10 + i;
        pages[i] = plat::createPropertySheetPage(&record);
    }
    plat::PropertySheetHeader header{};
    header.size = sizeof header;
    header.parent = parent;
    header.caption = text("Setup");
    header.pageCount = 2;
    header.pages = pages;
    return plat::propertySheet(&header);
}

TEST(PropertySheet, ReturnAppliesEscapeResetsAndTheOwnerIsDisabledMeanwhile) {
    ASSERT_NE(dialogModule(), nullptr);
    zotest::TestWindow owner(0, 0, 100, 100);
    bool ownerEnabledDuringSheet = true;
    User user([&](HWND) {
        ownerEnabledDuringSheet = plat::isEnabled(owner.handle());
        postKey(plat::kKeyReturn);
    });
    plat::discardThreadQueue();
    pageLog().clear();
    EXPECT_EQ(runSheet(owner.handle()), 1);
    EXPECT_EQ(pageLog(), (std::vector<std::string>{"init 10", "active", "leave", "apply"}));
    EXPECT_TRUE(plat::isEnabled(owner.handle()));
    pageLog().clear();
    postKey(plat::kKeyEscape); // typed ahead, before the sheet is shown
    EXPECT_EQ(runSheet(owner.handle()), 0);
    EXPECT_EQ(pageLog(), (std::vector<std::string>{"init 10", "active", "reset"}));
    EXPECT_FALSE(ownerEnabledDuringSheet);
}

TEST(PropertySheet, PagesAreMadeWhenShownAndAPageMayKeepTheSheetOpen) {
    pageLog().clear();
    const uint32_t windowsBefore = plat::windowCount();
    User user([](HWND sheet) {
        plat::sendMessage(sheet, plat::kSheetSetCurrentPage, 1, 0);
        g_refuseToLeave = 1;
        plat::sendMessage(plat::dialogItem(sheet, plat::kIdOk), plat::kButtonClick, 0, 0); // refused
        g_refuseToLeave = 0;
        EXPECT_TRUE(zotest::Picture(sheet).at(0, 0) != 0);
        plat::sendMessage(plat::dialogItem(sheet, plat::kIdOk), plat::kButtonClick, 0, 0);
    });
    EXPECT_EQ(runSheet(nullptr), 1);
    EXPECT_EQ(pageLog(), (std::vector<std::string>{"init 10", "active", "leave", "init 11", "active", "leave", "leave",
                                                   "apply", "apply"}));
    EXPECT_EQ(plat::windowCount(), windowsBefore);
}

TEST(PropertySheet, WithoutItsTemplatesOrPagesTheSheetIsNotShown) {
    plat::PropertySheetPage record{};
    record.size = sizeof record;
    record.instance = dialogModule();
    record.templateId = 999;
    void *page = plat::createPropertySheetPage(&record);
    plat::PropertySheetHeader header{};
    header.size = sizeof header;
    header.pageCount = 1;
    header.pages = &page;
    EXPECT_EQ(plat::propertySheet(&header), -1);
    header.pageCount = 0;
    EXPECT_EQ(plat::propertySheet(&header), -1);
    record.size = 3;
    EXPECT_EQ(plat::createPropertySheetPage(&record), nullptr);
}

} // namespace
