// The edit control against a model: a std::string with a selection, a limit and lines
// ended by CR LF.
#include "platform/window.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/windows.h"

namespace {

namespace plat = zo::plat;
using zotest::text;

struct Model {
    std::string text;
    size_t start = 0, end = 0;
    size_t limit = plat::kEditDefaultLimit;

    void replace(const std::string &with) {
        size_t kept = text.size() - (end - start);
        std::string taken = with.substr(0, limit > kept ? limit - kept : 0);
        text.replace(start, end - start, taken);
        start = end = start + taken.size();
    }
    std::vector<intptr_t> lineStarts() const {
        std::vector<intptr_t> starts{0};
        for (size_t i = 0; i + 1 < text.size(); ++i)
            if (text[i] == '\r' && text[i + 1] == '\n')
                starts.push_back(static_cast<intptr_t>(i + 2));
        return starts;
    }
};

class Edit {
public:
    explicit Edit(uint32_t style = 0x50300804) {
        parent_ = plat::createWindow({0, zotest::testClass(), text(""), plat::kStylePopup, 0, 0, 300, 200});
        handle_ = plat::createWindow({0, plat::kEditClass, text(""), style, 0, 0, 300, 200, parent_});
    }
    ~Edit() { plat::destroyWindow(parent_); }
    HWND handle() const { return handle_; }
    intptr_t send(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0) const {
        return plat::sendMessage(handle_, message, wParam, lParam);
    }
    std::string contents() const {
        std::string out(plat::windowTextLength(handle_) + 1, '\0');
        out.resize(plat::windowText(handle_, reinterpret_cast<unsigned char *>(out.data()),
                                    static_cast<uint32_t>(out.size())));
        return out;
    }

private:
    HWND parent_, handle_;
};

void expectSame(const Edit &edit, const Model &model, int step) {
    ASSERT_EQ(edit.contents(), model.text) << "step " << step;
    uint32_t start = 99, end = 99;
    edit.send(plat::kEditGetSel, reinterpret_cast<uintptr_t>(&start), reinterpret_cast<intptr_t>(&end));
    EXPECT_EQ(start, model.start) << "step " << step;
    EXPECT_EQ(end, model.end) << "step " << step;
    std::vector<intptr_t> starts = model.lineStarts();
    ASSERT_EQ(edit.send(plat::kEditGetLineCount), static_cast<intptr_t>(starts.size())) << "step " << step;
    for (size_t line = 0; line < starts.size(); ++line)
        EXPECT_EQ(edit.send(plat::kEditLineIndex, line), starts[line]) << "line " << line << " step " << step;
    EXPECT_EQ(edit.send(plat::kEditLineIndex, starts.size()), -1);
}

TEST(EditControl, MatchesTheModelUnderRandomEdits) {
    Edit edit;
    Model model;
    std::mt19937 random(7);
    const char *pieces[] = {"", "a", "line\r\n", "\r\n", "two\r\nlines\r\n", "tail without end", "\r", "\n"};
    for (int step = 0; step < 400; ++step) {
        switch (random() % 4) {
        case 0: {
            intptr_t a = static_cast<intptr_t>(random() % (model.text.size() + 3)) - 1;
            intptr_t b = static_cast<intptr_t>(random() % (model.text.size() + 3)) - 1;
            edit.send(plat::kEditSetSel, static_cast<uintptr_t>(a), b);
            auto clamp = [&](intptr_t i) {
                return i < 0 || i > intptr_t(model.text.size()) ? model.text.size() : size_t(i);
            };
            if (a == -1) {
                model.start = model.end;
            } else {
                model.start = std::min(clamp(a), clamp(b));
                model.end = std::max(clamp(a), clamp(b));
            }
            break;
        }
        case 1:
        case 2: {
            const char *piece = pieces[random() % std::size(pieces)];
            edit.send(plat::kEditReplaceSel, 0, reinterpret_cast<intptr_t>(piece));
            model.replace(piece);
            break;
        }
        default:
            if (random() % 8 == 0) {
                size_t limit = random() % 60;
                edit.send(plat::kEditLimitText, limit);
                model.limit = limit == 0 ? plat::kEditMaxLimit : limit;
            }
        }
        expectSame(edit, model, step);
        if (HasFatalFailure())
            return;
    }
}

TEST(EditControl, SetTextIgnoresTheLimitAndResetsTheSelection) {
    Edit edit;
    edit.send(plat::kEditLimitText, 3);
    EXPECT_EQ(edit.send(plat::kEditGetLimitText), 3);
    ASSERT_TRUE(plat::setWindowText(edit.handle(), text("longer than three")));
    EXPECT_EQ(edit.contents(), "longer than three");
    edit.send(plat::kEditSetSel, 0, -1);
    edit.send(plat::kEditReplaceSel, 0, reinterpret_cast<intptr_t>("abcdef"));
    EXPECT_EQ(edit.contents(), "abc");
}

TEST(EditControl, TheCaretLineStaysInViewAndRedrawCanBeSwitchedOff) {
    Edit edit;
    for (int i = 0; i < 50; ++i) {
        edit.send(plat::kEditSetSel, 100000, 100000);
        edit.send(plat::kEditReplaceSel, 0, reinterpret_cast<intptr_t>("a line of text\r\n"));
    }
    EXPECT_GT(edit.send(plat::kEditGetFirstVisibleLine), 30); // 200 pixels show about a dozen lines
    plat::updateWindow(edit.handle());
    edit.send(plat::kMsgSetRedraw, 0);
    edit.send(plat::kEditReplaceSel, 0, reinterpret_cast<intptr_t>("hidden"));
    plat::WindowMessage m;
    EXPECT_FALSE(plat::peekMessage(&m, plat::kMsgPaint, plat::kMsgPaint, false)); // nothing to paint
    edit.send(plat::kMsgSetRedraw, 1);
    EXPECT_TRUE(plat::peekMessage(&m, plat::kMsgPaint, plat::kMsgPaint, false));
    plat::updateWindow(edit.handle());
}

} // namespace
