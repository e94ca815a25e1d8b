// Error records, the per-thread error list and errors with resource texts.
#include <gtest/gtest.h>

#include <zo/cntdblib.h>
#include <zo/zoerror.h>

#include <string>
#include <thread>
#include <vector>

#include "frame/err.h"
#include "frame/errstate.h"
#include "support/alloc_failure.h"
#include "support/status.h"

namespace {

const unsigned char *u(const char *s) { return reinterpret_cast<const unsigned char *>(s); }
std::string str(const unsigned char *s) { return reinterpret_cast<const char *>(s); }
std::string textOf(ZoError *error) { return error != nullptr ? str(error->getErrorText()) : "<null>"; }

ZoError &addText(const char *text, ErrorType type = ErrorTypeError, unsigned short number = 1) {
    return addDatabaseError(number, 0, u(text), type);
}

std::vector<std::string> texts(ZoErrorList &list) {
    std::vector<std::string> out;
    for (uint32_t i = 0; i < list.getCount(); ++i)
        out.push_back(textOf(static_cast<ZoError *>(list.getAt(i))));
    return out;
}

ZoError &dummy() { return zoStaticError(ErrDummyError); }

// Installs a list as the thread's current list for the test's duration.
class ErrorListTest : public ::testing::Test {
protected:
    explicit ErrorListTest(unsigned keepAll = 0) : list(&owner, keepAll) {}
    void SetUp() override { ZoErrorKeeper::setErrorList(&list); }
    void TearDown() override {
        if (ZoErrorKeeper::getCurrentList() == &list)
            ZoErrorKeeper::giveUpErrorList();
    }
    int owner = 0;
    ZoErrorList list;
};

class KeepAllListTest : public ErrorListTest {
protected:
    KeepAllListTest() : ErrorListTest(1) {}
};

TEST(ErrorRecord, StaticErrorsAreFixed) {
    ZoError &memory = zoStaticError(ErrMemoryError);
    EXPECT_EQ(memory.getErrorNumber(), 30190);
    EXPECT_EQ(memory.getFlags(), ZoError::Static | ZoError::MemoryError);
    EXPECT_EQ(str(memory.getErrorText()), "Out Of Memory");
    EXPECT_EQ(&(memory << "x" << 5u), &memory);
    EXPECT_EQ(memory.appendText(u("more")), ZoFailure);
    EXPECT_EQ(str(memory.getErrorText()), "Out Of Memory");

    EXPECT_EQ(dummy().getErrorNumber(), 0);
    EXPECT_EQ(dummy().getFlags(), ZoError::Static | ZoError::Dummy);
    EXPECT_EQ(&(dummy() << "x"), &dummy());
    EXPECT_EQ(str(dummy().getErrorText()), "");

    ZoError plain(static_cast<ErrSpecialError>(7));
    EXPECT_EQ(plain.getFlags(), uint32_t{ZoError::Static});
}

TEST(ErrorRecord, ConstructionAndPlaceholders) {
    ZoError error(2701, u("%s1 is out of range (%n2)"), ErrorTypeWarning, 9, -4);
    EXPECT_TRUE(error.isWarning());
    EXPECT_EQ(error.getAuxCode(), 9);
    EXPECT_EQ(error.getNativeError(), -4);
    error << "4294967296" << int32_t{-7};
    EXPECT_EQ(str(error.getErrorText()), "4294967296 is out of range (-7)");

    ZoError noText(5, nullptr, static_cast<ErrorType>(3), 0, 0);
    EXPECT_FALSE(noText.isWarning());
    EXPECT_EQ(str(noText.getErrorText()), "");
}

TEST_F(ErrorListTest, SecondErrorIsDroppedUnlessKeepingAll) {
    ZoError &first = addText("first %s1");
    EXPECT_NE(&first, &dummy());
    ZoError &second = addText("second %s1");
    EXPECT_EQ(&second, &dummy());
    second << "ignored";
    first << "kept";
    EXPECT_EQ(texts(list), (std::vector<std::string>{"first kept"}));
    EXPECT_EQ(str(dummy().getErrorText()), "");
}

TEST_F(ErrorListTest, WarningThenErrorAreBothKept) {
    addText("W", ErrorTypeWarning);
    EXPECT_EQ(list.getErrorsMix(), ErrorsMixWarningsOnly);
    addText("E");
    EXPECT_EQ(list.getErrorsMix(), ErrorsMixBoth);
    EXPECT_EQ(&addText("third", ErrorTypeWarning), &dummy());
    EXPECT_EQ(texts(list), (std::vector<std::string>{"W", "E"}));
}

TEST_F(KeepAllListTest, EveryErrorIsKeptInOrder) {
    EXPECT_EQ(list.getErrorsMix(), ErrorsMixEmpty);
    for (const char *t : {"c", "a", "b", "a"})
        addText(t);
    EXPECT_EQ(texts(list), (std::vector<std::string>{"c", "a", "b", "a"}));
    EXPECT_EQ(list.getErrorsMix(), ErrorsMixErrorsOnly);
    EXPECT_EQ(ZoErrorKeeper::getOwnerOfList(), &owner);
}

TEST_F(ErrorListTest, MemoryErrorTakesTheHeldErrorsPlace) {
    addText("A", ErrorTypeError, 12);
    ZoErrorKeeper::addMemoryError();
    EXPECT_EQ(ZoErrorKeeper::getLastErrorNumber(), 30190);
    EXPECT_EQ(textOf(ZoErrorKeeper::getLastError()), "Out Of Memory");
    EXPECT_EQ(list.getErrorsMix(), ErrorsMixEmpty);
    ZoString out;
    EXPECT_EQ(list.concatErrors(&out, ';'), ZoSuccess);
    EXPECT_EQ(out.length(), 0u);
}

TEST_F(KeepAllListTest, PendingMemoryErrorIsRemovedFirstAndNeverDeleted) {
    addText("A");
    addText("B");
    ZoErrorKeeper::addMemoryError();
    EXPECT_EQ(list.getCount(), 2u);
    ZoError *memory = list.removeLastError();
    EXPECT_EQ(memory, &zoStaticError(ErrMemoryError));
    EXPECT_FALSE(list.memoryErrorPending());
    ZoError *last = list.removeLastError();
    EXPECT_EQ(textOf(last), "B");
    delete last;

    ZoErrorKeeper::addMemoryError();
    ZoErrorKeeper::clearLastError(); // takes the memory error, which is static
    EXPECT_EQ(str(zoStaticError(ErrMemoryError).getErrorText()), "Out Of Memory");
    EXPECT_EQ(ZoErrorKeeper::getLastErrorNumber(), 1);
    ZoErrorKeeper::addMemoryError();
    EXPECT_EQ(list.removeFirstError(), &zoStaticError(ErrMemoryError));
    ZoError *first = list.removeFirstError();
    EXPECT_EQ(textOf(first), "A");
    delete first;
    EXPECT_EQ(list.removeFirstError(), nullptr);
    EXPECT_EQ(list.removeLastError(), nullptr);
    EXPECT_EQ(ZoErrorKeeper::getLastError(), nullptr);
}

TEST_F(KeepAllListTest, ConcatErrorsPutsTheSeparatorBetweenTexts) {
    addText("A");
    addText("B");
    ZoString out;
    ASSERT_EQ(list.concatErrors(&out, 0x13B), ZoSuccess); // only the low byte counts
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out.data()), out.length()), "A;B");
    EXPECT_EQ(out.data()[out.length()], '\0');
    // Appends to what is there already.
    ASSERT_EQ(list.concatErrors(&out, ' '), ZoSuccess);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(out.data()), out.length()), "A;BA B");
}

TEST_F(KeepAllListTest, ConcatIntoAFullBorrowedBufferFails) {
    addText("long enough text");
    unsigned char buffer[8] = "ab";
    ZoString out;
    out.initializeWithBuffer(buffer, sizeof buffer, 2);
    EXPECT_EQ(list.concatErrors(&out, ';'), ZoFailure);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer)), "ab");
}

TEST_F(KeepAllListTest, WarningsAfterAPosition) {
    for (const char *t : {"0", "1", "2"})
        addText(t);
    list.setWarningAfterPos(0);
    EXPECT_FALSE(static_cast<ZoError *>(list.getAt(0))->isWarning());
    EXPECT_TRUE(static_cast<ZoError *>(list.getAt(1))->isWarning());
    EXPECT_TRUE(static_cast<ZoError *>(list.getAt(2))->isWarning());
    list.setWarningAfterPos(5);
    list.setWarningAfterPos(UINT32_MAX); // no wrap to index 0
    EXPECT_FALSE(static_cast<ZoError *>(list.getAt(0))->isWarning());
    EXPECT_EQ(list.getErrorsMix(), ErrorsMixBoth);

    ZoErrorKeeper::setLastErrorType(ErrorTypeError);
    EXPECT_FALSE(ZoErrorKeeper::getLastError()->isWarning());
    ZoErrorKeeper::setLastErrorType(ErrorTypeWarning);
    EXPECT_TRUE(ZoErrorKeeper::getLastError()->isWarning());
}

TEST_F(KeepAllListTest, AppendingTextFromAPosition) {
    for (const char *t : {"0", "1", "2"})
        addText(t);
    list.appendTextStartingAtPos(u("+"), 1);
    list.appendTextStartingAtPos(u("!"), 3); // past the end: nothing
    EXPECT_EQ(texts(list), (std::vector<std::string>{"0", "1+", "2+"}));
}

TEST_F(KeepAllListTest, AppendedTextFillsItsOwnPlaceholderOne) {
    addText("file %s1") << "a.txt";
    ZoErrorKeeper::appendTextToLastError(u(": line %n1")) << 12u;
    EXPECT_EQ(textOf(ZoErrorKeeper::getLastError()), "file a.txt: line 12");
}

TEST_F(KeepAllListTest, MovingTheLastError) {
    for (const char *t : {"0", "1", "2", "3"})
        addText(t);
    list.moveLastErrorToPos(1);
    EXPECT_EQ(texts(list), (std::vector<std::string>{"0", "3", "1", "2"}));
    list.moveLastErrorToPos(4);           // not below the count
    list.moveLastErrorToPos(0x10000 + 1); // beyond the count although its low 16 bits are 1
    EXPECT_EQ(texts(list), (std::vector<std::string>{"0", "3", "1", "2"}));
}

TEST_F(KeepAllListTest, CursorIteration) {
    EXPECT_EQ(list.getFirstNode(), nullptr);
    for (const char *t : {"0", "1", "2"})
        addText(t);
    EXPECT_EQ(textOf(static_cast<ZoError *>(list.getFirstNode())), "0");
    EXPECT_EQ(textOf(static_cast<ZoError *>(list.getNextNode())), "1");
    EXPECT_EQ(textOf(static_cast<ZoError *>(list.getNodeAtPos(0))), "0");
    EXPECT_EQ(list.getNodeAtPos(3), nullptr); // cursor unchanged
    EXPECT_EQ(textOf(static_cast<ZoError *>(list.getNextNode())), "1");
    EXPECT_EQ(textOf(static_cast<ZoError *>(list.getNextNode())), "2");
    EXPECT_EQ(list.getNextNode(), nullptr);
    delete list.removeFirstError(); // resets the cursor
    EXPECT_EQ(textOf(static_cast<ZoError *>(list.getNextNode())), "1");
}

TEST(ErrorKeeper, ListsStackPerThread) {
    ZoErrorList outer(nullptr, 1), inner(nullptr, 1);
    ZoErrorKeeper::setErrorList(&outer);
    ZoErrorKeeper::setErrorList(&inner);
    addText("inner");
    EXPECT_EQ(ZoErrorKeeper::giveUpErrorList(), &inner);
    EXPECT_EQ(ZoErrorKeeper::getCurrentList(), &outer);
    addText("outer");
    EXPECT_EQ(texts(inner), (std::vector<std::string>{"inner"}));
    EXPECT_EQ(texts(outer), (std::vector<std::string>{"outer"}));

    std::thread other([] { EXPECT_EQ(ZoErrorKeeper::getCurrentList(), nullptr); });
    other.join();
    EXPECT_EQ(ZoErrorKeeper::giveUpErrorList(), &outer);
    EXPECT_EQ(ZoErrorKeeper::giveUpErrorList(), nullptr);
}

TEST(ErrorKeeper, DestroyingTheCurrentListTakesItOff) {
    ZoErrorList outer(nullptr, 1);
    ZoErrorKeeper::setErrorList(&outer);
    {
        ZoErrorList inner(nullptr, 1);
        ZoErrorKeeper::setErrorList(&inner);
        addText("dropped with the list");
    }
    EXPECT_EQ(ZoErrorKeeper::getCurrentList(), &outer);
    EXPECT_EQ(ZoErrorKeeper::giveUpErrorList(), &outer);
}

TEST(ErrorKeeper, WithoutAListNothingIsRecorded) {
    ASSERT_EQ(ZoErrorKeeper::getCurrentList(), nullptr);
    EXPECT_EQ(&addText("x"), &dummy());
    EXPECT_EQ(&addResourceError(ZoMessage::FileDelete), &dummy());
    EXPECT_EQ(&appendResourceText(ZoMessage::AttributeTwice), &dummy());
    EXPECT_EQ(&ZoErrorKeeper::addError(new ZoError(1, u("x"), ErrorTypeError, 0, 0)), &dummy());
    EXPECT_EQ(&ZoErrorKeeper::addError(nullptr), &dummy());
    EXPECT_EQ(&ZoErrorKeeper::appendTextToLastError(u("x")), &dummy());
    ZoErrorKeeper::addMemoryError();
    ZoErrorKeeper::clearLastError();
    ZoErrorKeeper::setLastErrorType(ErrorTypeWarning);
    ZoErrorKeeper::setErrorList(nullptr);
    EXPECT_EQ(ZoErrorKeeper::getLastError(), nullptr);
    EXPECT_EQ(ZoErrorKeeper::getLastErrorNumber(), 0);
    EXPECT_EQ(ZoErrorKeeper::getLastNativeError(), 0);
    EXPECT_EQ(ZoErrorKeeper::getOwnerOfList(), nullptr);
}

TEST_F(ErrorListTest, AppendingToAMissingLastErrorGivesTheDummy) {
    EXPECT_EQ(&ZoErrorKeeper::appendTextToLastError(u("x")), &dummy());
    ZoErrorKeeper::addMemoryError();
    EXPECT_EQ(&ZoErrorKeeper::appendTextToLastError(u("x")), &zoStaticError(ErrMemoryError));
    EXPECT_EQ(str(zoStaticError(ErrMemoryError).getErrorText()), "Out Of Memory");
}

TEST_F(ErrorListTest, DatabaseErrorCarriesNativeErrorAndType) {
    addDatabaseError(42, -1017, u("ORA-01017"), ErrorTypeWarning);
    EXPECT_EQ(ZoErrorKeeper::getLastErrorNumber(), 42);
    EXPECT_EQ(ZoErrorKeeper::getLastNativeError(), -1017);
    EXPECT_TRUE(ZoErrorKeeper::getLastError()->isWarning());
    EXPECT_EQ(ZoErrorKeeper::getLastError()->getAuxCode(), 0);
}

// ---- resource texts

class ResourceErrorTest : public KeepAllListTest {
protected:
    void SetUp() override {
        KeepAllListTest::SetUp();
        mdsPerTaskInit();
    }
    void TearDown() override {
        mdsPerTaskTerm();
        KeepAllListTest::TearDown();
    }
};

TEST_F(ResourceErrorTest, TextsComeFromTheResourceLibraryWithParameters) {
    addResourceError(ZoMessage::FileDelete) << "C:\\DATA\\X.TXT";
    addResourceError(ZoMessage::FileRename) << "A.TXT"
                                            << "B.TXT";
    addResourceError(ZoMessage::AttributeSyntaxOf) << 17u << "MYPARSER";
    appendResourceText(ZoMessage::AttributeBothSpellings) << "DSN"
                                                          << "FILEDSN";
    EXPECT_EQ(texts(list), (std::vector<std::string>{
                               "Cannot delete the file C:\\DATA\\X.TXT.",
                               "Cannot rename the file A.TXT to B.TXT.",
                               "Syntax error in the attribute string of MYPARSER at offset 17. The attributes DSN "
                               "and FILEDSN may not both be given.",
                           }));
    EXPECT_EQ(ZoErrorKeeper::getLastErrorNumber(), 2705);
    EXPECT_EQ(ZoErrorKeeper::getLastNativeError(), 0);
    EXPECT_FALSE(ZoErrorKeeper::getLastError()->isWarning());
}

TEST_F(ResourceErrorTest, NumbersAreTakenModulo65536) {
    addResourceError(static_cast<ZoMessage>(0x10000 + 1509));
    EXPECT_EQ(ZoErrorKeeper::getLastErrorNumber(), 1509);
    EXPECT_EQ(textOf(ZoErrorKeeper::getLastError()), "The file does not exist.");
}

TEST_F(KeepAllListTest, ResourceErrorWithoutResourceLibraryHasAnEmptyText) {
    addResourceError(ZoMessage::FileDelete) << "X";
    EXPECT_EQ(ZoErrorKeeper::getLastErrorNumber(), 1502);
    EXPECT_EQ(textOf(ZoErrorKeeper::getLastError()), "");
}

// ---- memory exhaustion

TEST_F(KeepAllListTest, AddingFailsCleanlyAtEachAllocation) {
    addText("old");
    uint32_t points = zotest::forEachAllocationFailure([&](zotest::FailurePoint &point) {
        point.arm();
        ZoError &added = addText("new %s1");
        ZoError &filled = added << "value";
        point.disarm();
        if (point.hit() && point.k() <= 2) { // the record or its text: nothing is recorded
            EXPECT_EQ(&added, &dummy());
            EXPECT_EQ(texts(list), (std::vector<std::string>{"old"}));
        } else if (point.hit()) { // filling: the error stays with its placeholder
            EXPECT_EQ(&filled, &dummy());
            EXPECT_EQ(texts(list), (std::vector<std::string>{"old", "new %s1"}));
        } else {
            EXPECT_EQ(texts(list), (std::vector<std::string>{"old", "new value"}));
        }
        if (list.getCount() == 2)
            delete list.removeLastError();
    });
    EXPECT_EQ(points, 3u); // the record, its text, the filled text
}

TEST_F(KeepAllListTest, GrowingTheArrayFailsCleanly) {
    for (int i = 0; i < 16; ++i)
        addText("x");
    ZoError *error = list.allocError(7, u("seventeenth"), ErrorTypeError, 0, 0);
    ASSERT_NE(error, nullptr);
    {
        zotest::NoMemory none;
        EXPECT_EQ(&ZoErrorKeeper::addError(error), &dummy()); // error deleted: no leak
    }
    EXPECT_EQ(list.getCount(), 16u);
}

TEST_F(KeepAllListTest, FillingAPlaceholderFailsToTheDummy) {
    ZoError &error = addText("%s1 and %s2");
    {
        zotest::NoMemory none;
        EXPECT_EQ(&(error << "first"), &dummy());
        EXPECT_EQ(error.appendText(u("tail")), ZoFailure);
    }
    EXPECT_EQ(textOf(&error), "%s1 and %s2");
}

TEST_F(KeepAllListTest, ConcatFailsAtEachAllocationKeepingWhatWasAppended) {
    addText("A");
    addText("B");
    uint32_t points = zotest::forEachAllocationFailure([&](zotest::FailurePoint &point) {
        ZoString out;
        zotest::ok(out.initialize(u("start:")));
        point.arm();
        ZoStatus status = list.concatErrors(&out, ';');
        std::string got(reinterpret_cast<char *>(out.data()), out.length());
        if (point.disarm()) {
            EXPECT_EQ(status, ZoFailure);
            EXPECT_EQ(got, point.k() == 1 ? "start:" : "start:A");
        } else {
            EXPECT_EQ(status, ZoSuccess);
            EXPECT_EQ(got, "start:A;B");
        }
    });
    EXPECT_EQ(points, 2u);
}

TEST_F(ResourceErrorTest, ResourceErrorFailsCleanlyAtEachAllocation) {
    addText("old");
    uint32_t points = zotest::forEachAllocationFailure([&](zotest::FailurePoint &point) {
        point.arm();
        ZoError &added = addResourceError(ZoMessage::FileCreate);
        point.disarm();
        if (point.hit()) {
            EXPECT_EQ(&added, &dummy());
            EXPECT_EQ(texts(list), (std::vector<std::string>{"old"}));
        } else {
            EXPECT_EQ(texts(list), (std::vector<std::string>{"old", "Cannot create the file %s1."}));
            delete list.removeLastError();
        }
    });
    EXPECT_EQ(points, 2u); // the record and its text
}

TEST_F(KeepAllListTest, AppendingWithoutMemoryKeepsEveryText) {
    for (const char *t : {"0", "1", "2"})
        addText(t);
    {
        zotest::NoMemory none;
        list.appendTextStartingAtPos(u(" more"), 0);
        ZoErrorKeeper::appendTextToLastError(u(" more"));
        list.moveLastErrorToPos(0); // needs no memory
    }
    EXPECT_EQ(texts(list), (std::vector<std::string>{"2", "0", "1"}));
}

// The values meant for a text that could not be appended must not fill the message's own
// placeholders.
TEST_F(KeepAllListTest, ValuesOfAnAppendThatFailedGoNowhere) {
    addText("row %n1");
    {
        zotest::NoMemory none;
        EXPECT_EQ(&(ZoErrorKeeper::appendTextToLastError(u(": column %n1")) << 12u), &dummy());
    }
    EXPECT_EQ(texts(list), (std::vector<std::string>{"row %n1"}));
}

TEST_F(ErrorListTest, MemoryErrorNeedsNoMemory) {
    zotest::NoMemory none;
    EXPECT_EQ(&addText("lost"), &dummy());
    ZoErrorKeeper::addMemoryError();
    EXPECT_EQ(ZoErrorKeeper::getLastErrorNumber(), 30190);
}

// Every thread works on its own list; the shared dummy error takes drops from all of them.
TEST(ErrorKeeper, ThreadsKeepTheirOwnLists) {
    std::vector<std::thread> threads;
    std::vector<std::string> results(4);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t, &results] {
            ZoErrorList list(nullptr, 0);
            ZoErrorKeeper::setErrorList(&list);
            for (int i = 0; i < 200; ++i)
                addText("thread %n1") << static_cast<int32_t>(t);
            results[t] = textOf(ZoErrorKeeper::getLastError());
            ZoErrorKeeper::giveUpErrorList();
        });
    for (std::thread &thread : threads)
        thread.join();
    for (int t = 0; t < 4; ++t)
        EXPECT_EQ(results[t], "thread " + std::to_string(t));
}

} // namespace
