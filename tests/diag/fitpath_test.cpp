// Paths shortened to fit a control, measured in the control's own font.
#include <zo/zodialog.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/windows.h"

namespace {

namespace plat = zo::plat;
using zotest::text;

// An edit control of the given width (no frame: the client area is the whole control).
class Control {
public:
    explicit Control(int32_t width) : parent_(0, 0, 600, 40) {
        handle_ = plat::createWindow({0, plat::kEditClass, text("before"), plat::kStyleChild | plat::kStyleVisible, 0,
                                      0, width, 20, parent_.handle()});
    }
    HWND handle() const { return handle_; }
    std::string contents() const {
        unsigned char out[300];
        plat::windowText(handle_, out, sizeof out);
        return reinterpret_cast<char *>(out);
    }
    int32_t widthOf(const std::string &s) const {
        void *dc = plat::getDC(handle_);
        int32_t width = 0, height = 0;
        plat::textExtent(dc, text(s.c_str()), static_cast<uint32_t>(s.size()), &width, &height);
        plat::releaseDC(handle_, dc);
        return width;
    }
    void resize(int32_t width) { plat::moveWindow(handle_, 0, 0, width, 20, false); }

private:
    zotest::TestWindow parent_;
    HWND handle_;
};

int fit(Control &control, const char *path, ZOFITPATHOPTION option = ZoFitKeepFile) {
    return fitPathInControl(control.handle(), text(path), option);
}

TEST(FitPath, TheFirstFormThatFitsIsSet) {
    // The whole path, then one component less each time. The first shortened form is wider
    // than the path itself (".." is wider than "c"), so the forms are tried in order, not by
    // width.
    const char *path = "C:\\a\\b\\c\\file.txt";
    const std::vector<std::string> forms = {path, "C:\\a\\b\\..\\file.txt", "C:\\a\\..\\file.txt", "C:\\..\\file.txt"};
    Control control(10);
    std::vector<int32_t> widths;
    for (const std::string &form : forms)
        widths.push_back(control.widthOf(form));
    for (int32_t width : widths) {
        for (int32_t w : {width, width - 1}) {
            std::string expected;
            for (size_t i = 0; i < forms.size() && expected.empty(); ++i)
                if (widths[i] <= w)
                    expected = forms[i];
            ASSERT_TRUE(plat::setWindowText(control.handle(), text("before")));
            control.resize(w);
            EXPECT_EQ(fit(control, path), expected.empty() ? 0 : 1) << w;
            EXPECT_EQ(control.contents(), expected.empty() ? "before" : expected) << w;
        }
    }
}

TEST(FitPath, KeepingTheDirectoryKeepsTwoComponents) {
    Control control(10);
    control.resize(control.widthOf("C:\\a\\..\\c\\file.txt"));
    EXPECT_EQ(fit(control, "C:\\a\\b\\c\\file.txt", ZoFitKeepDirectoryAndFile), 1);
    EXPECT_EQ(control.contents(), "C:\\a\\..\\c\\file.txt");
}

TEST(FitPath, NothingFitsWithoutABackslashOrBeforeTheServerName) {
    Control control(20);
    EXPECT_EQ(fit(control, "a-very-long-file-name.txt"), 0);
    EXPECT_EQ(control.contents(), "before");
    control.resize(control.widthOf("\\\\srv\\..\\f.txt") - 1);
    EXPECT_EQ(fit(control, "\\\\srv\\share\\dir\\f.txt"), 0); // never \\..\f.txt
    EXPECT_EQ(control.contents(), "before");
}

TEST(FitPath, TheControlsFontDecides) {
    const char *path = "C:\\program\\drivers\\setup.ini";
    Control control(10);
    control.resize(control.widthOf(path));
    EXPECT_EQ(fit(control, path), 1);
    EXPECT_EQ(control.contents(), path);
    void *font = plat::createFont("DejaVu Sans", 16, false);
    plat::sendMessage(control.handle(), plat::kMsgSetFont, reinterpret_cast<uintptr_t>(font), 0);
    EXPECT_EQ(fit(control, path), 1);
    EXPECT_NE(control.contents(), path); // too wide in the larger font
    plat::sendMessage(control.handle(), plat::kMsgSetFont, 0, 0);
    plat::deleteFont(font);
}

} // namespace
