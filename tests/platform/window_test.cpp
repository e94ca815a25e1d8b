#include "platform/thread.h"
#include "platform/window.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "support/alloc_failure.h"

namespace plat = zo::plat;

namespace {

plat::WindowMessage key(uint32_t message, uintptr_t code) {
    plat::WindowMessage m;
    m.message = message;
    m.wParam = code;
    return m;
}

} // namespace

TEST(WindowQueue, PeekTakesTheFirstMessageInRangeAndKeepsTheRest) {
    plat::discardThreadQueue();
    const uint32_t self = plat::currentThreadId();
    ASSERT_TRUE(plat::postThreadMessage(self, key(0x0400, 1)));
    ASSERT_TRUE(plat::postThreadMessage(self, key(plat::kMsgKeyDown, 'A')));
    ASSERT_TRUE(plat::postThreadMessage(self, key(plat::kMsgKeyUp, 'A')));

    plat::WindowMessage m;
    ASSERT_TRUE(plat::peekMessage(&m, plat::kMsgKeyFirst, plat::kMsgKeyLast, false));
    EXPECT_EQ(m.message, plat::kMsgKeyDown); // looked at, still queued
    ASSERT_TRUE(plat::peekMessage(&m, plat::kMsgKeyFirst, plat::kMsgKeyLast, true));
    EXPECT_EQ(m.wParam, uintptr_t{'A'});
    ASSERT_TRUE(plat::peekMessage(&m, plat::kMsgKeyFirst, plat::kMsgKeyLast, true));
    EXPECT_EQ(m.message, plat::kMsgKeyUp);
    EXPECT_FALSE(plat::peekMessage(&m, plat::kMsgKeyFirst, plat::kMsgKeyLast, true));
    ASSERT_TRUE(plat::peekMessage(&m, 0, 0, true)); // the other message waited its turn
    EXPECT_EQ(m.message, 0x0400u);
    EXPECT_FALSE(plat::peekMessage(&m, 0, 0, true));
}

TEST(WindowQueue, EachThreadReadsOnlyItsOwnQueue) {
    plat::discardThreadQueue();
    uint32_t otherId = 0;
    bool otherSawOwn = false, otherSawMine = true;
    std::thread other([&] {
        otherId = plat::currentThreadId();
        ASSERT_TRUE(plat::postThreadMessage(otherId, key(plat::kMsgKeyDown, 2)));
        plat::WindowMessage m;
        otherSawOwn = plat::peekMessage(&m, 0, 0, true) && m.wParam == 2;
        otherSawMine = plat::peekMessage(&m, 0, 0, true);
        plat::discardThreadQueue();
    });
    ASSERT_TRUE(plat::postThreadMessage(plat::currentThreadId(), key(plat::kMsgKeyDown, 1)));
    other.join();
    EXPECT_TRUE(otherSawOwn);
    EXPECT_FALSE(otherSawMine);
    plat::WindowMessage m;
    ASSERT_TRUE(plat::peekMessage(&m, 0, 0, true));
    EXPECT_EQ(m.wParam, 1u);
}

TEST(MessageBox, SinkSeesEveryBoxAndAnswers) {
    struct Seen {
        std::vector<std::string> lines;
    } seen;
    plat::setMessageBoxSink(
        [](void *context, void *, const unsigned char *text, const unsigned char *caption, uint32_t style) {
            static_cast<Seen *>(context)->lines.push_back(std::string(reinterpret_cast<const char *>(caption)) + ": " +
                                                          reinterpret_cast<const char *>(text));
            return (style & 0xF) == plat::kBoxYesNo ? plat::kAnswerNo : plat::kAnswerOk;
        },
        &seen);
    EXPECT_EQ(plat::messageBox(nullptr, reinterpret_cast<const unsigned char *>("go on?"),
                               reinterpret_cast<const unsigned char *>("Q"), plat::kBoxYesNo),
              plat::kAnswerNo);
    plat::setMessageBoxSink(nullptr, nullptr);
    ASSERT_EQ(seen.lines, std::vector<std::string>{"Q: go on?"});
    // The default sink answers with the first button of the box.
    testing::internal::CaptureStderr();
    EXPECT_EQ(plat::messageBox(nullptr, reinterpret_cast<const unsigned char *>("x"),
                               reinterpret_cast<const unsigned char *>("C"), plat::kBoxRetryCancel),
              plat::kAnswerRetry);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "[C] x\n");
}

TEST(Beep, IsCounted) {
    uint32_t before = plat::beepCount();
    plat::beep();
    plat::beep();
    EXPECT_EQ(plat::beepCount(), before + 2);
}

TEST(WindowQueue, PostingWithoutMemoryFailsAndQueuesNothing) {
    plat::discardThreadQueue();
    {
        zotest::NoMemory none;
        EXPECT_FALSE(plat::postThreadMessage(plat::currentThreadId(), key(plat::kMsgKeyDown, 1)));
    }
    plat::WindowMessage m;
    EXPECT_FALSE(plat::peekMessage(&m, 0, 0, true));
}
