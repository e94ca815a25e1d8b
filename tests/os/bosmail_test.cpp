// bosSendMail through a test provider that answers as told and records the message.
#include <zo/bosmail.h>
#include <zo/pertask.h>
#include <zo/zomapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "modules/mapi_stub.h"
#include "platform/module.h"
#include "support/mail.h"

namespace {

namespace plat = zo::plat;

unsigned char *m(const char *text) { return reinterpret_cast<unsigned char *>(const_cast<char *>(text)); }

// The provider held loaded by the test, so that the calls of bosSendMail (which loads and
// frees it around each message) reach the same record.
class Stub {
public:
    explicit Stub(const char *path) : path_(path) {
        module_ = plat::moduleLoad(reinterpret_cast<const unsigned char *>(path), mdsCharLengthTable());
        auto find = reinterpret_cast<StubRecordFunction>(plat::moduleSymbol(module_, "zoStubRecord"));
        record_ = find != nullptr ? find() : &unused_;
        *record_ = StubRecord{};
    }
    ~Stub() { plat::moduleFree(module_); }
    StubRecord &record() { return *record_; }
    const char *path() const { return path_; }

private:
    const char *path_;
    void *module_;
    StubRecord *record_;
    StubRecord unused_;
};

class BosSendMail : public ::testing::Test {
protected:
    MailStatus send(const char *profile, const char *to, const char *cc, const char *path = nullptr) {
        return bosSendMail(reinterpret_cast<HWND>(0x77), m(profile), m(profile != nullptr ? "secret" : nullptr), m(to),
                           m(cc), m("Subject"), m("Text"), m(path != nullptr ? "shown.txt" : nullptr), m(path));
    }
    zotest::MailProfile profile;
};

TEST_F(BosSendMail, WithoutAMailLibraryNamedNothingIsLoaded) {
    Stub stub(ZO_TEST_MAPI_STUB);
    EXPECT_EQ(send(nullptr, "to", nullptr), MAIL_NOT_CONFIGURED);
    EXPECT_TRUE(stub.record().calls.empty());
    profile.set("MAPIDLL", "/no/such/libmapi.so");
    EXPECT_EQ(send(nullptr, "to", nullptr), MAIL_LOAD_FAILED);
}

TEST_F(BosSendMail, MissingEntryPointsAreReported) {
    Stub noSend(ZO_TEST_MAPI_STUB_NOSEND);
    profile.set("MAPIDLL", noSend.path());
    EXPECT_EQ(send(nullptr, "to", nullptr), MAIL_NO_SEND);
    Stub noLogon(ZO_TEST_MAPI_STUB_NOLOGON);
    profile.set("MAPIDLL", noLogon.path());
    EXPECT_EQ(send("me", "to", nullptr), MAIL_LOGON_FAILED);
    EXPECT_TRUE(noLogon.record().calls.empty());
    EXPECT_EQ(send(nullptr, "to", nullptr), MAIL_SUCCESS); // no profile: no logon needed
}

TEST_F(BosSendMail, EverySimpleMapiResultHasItsStatus) {
    Stub stub(ZO_TEST_MAPI_STUB);
    profile.set("MAPIDLL", stub.path());
    const std::vector<std::pair<uint32_t, MailStatus>> table = {
        {SUCCESS_SUCCESS, MAIL_SUCCESS},
        {MAPI_USER_ABORT, MAIL_FAILURE},
        {MAPI_E_FAILURE, MAIL_FAILURE},
        {MAPI_E_LOGON_FAILURE, MAIL_LOGON_FAILED},
        {MAPI_E_DISK_FULL, MAIL_FAILURE},
        {MAPI_E_INSUFFICIENT_MEMORY, MAIL_NO_MEMORY},
        {MAPI_E_TOO_MANY_FILES, MAIL_TOO_MANY_FILES},
        {MAPI_E_TOO_MANY_RECIPIENTS, MAIL_TOO_MANY_RECIPIENTS},
        {MAPI_E_ATTACHMENT_NOT_FOUND, MAIL_ATTACHMENT_NOT_FOUND},
        {MAPI_E_ATTACHMENT_OPEN_FAILURE, MAIL_ATTACHMENT_OPEN_FAILURE},
        {MAPI_E_UNKNOWN_RECIPIENT, MAIL_UNKNOWN_RECIPIENT},
        {MAPI_E_TEXT_TOO_LARGE, MAIL_TEXT_TOO_LARGE},
        {MAPI_E_AMBIGUOUS_RECIPIENT, MAIL_AMBIGUOUS_RECIPIENT},
        {MAPI_E_NOT_SUPPORTED, MAIL_FAILURE},
        {12345, MAIL_FAILURE},
    };
    for (const auto &[result, status] : table) {
        stub.record().sendResult = result;
        EXPECT_EQ(send(nullptr, "to", nullptr), status) << "Simple MAPI result " << result;
    }
    stub.record().sendResult = SUCCESS_SUCCESS;
    stub.record().logonResult = MAPI_E_LOGON_FAILURE;
    stub.record().calls.clear();
    EXPECT_EQ(send("me", "to", nullptr), MAIL_LOGON_FAILED);
    EXPECT_EQ(stub.record().calls, (std::vector<std::string>{"logon me secret 0"})); // nothing sent
}

TEST_F(BosSendMail, LoggedOnMessageCarriesOriginatorRecipientsAndAttachment) {
    Stub stub(ZO_TEST_MAPI_STUB);
    profile.set("MAPIDLL", stub.path());
    ASSERT_EQ(send("me", "you", "them", "C:\\tmp\\report.txt"), MAIL_SUCCESS);
    const std::string session = std::to_string(0x5E55);
    EXPECT_EQ(stub.record().calls,
              (std::vector<std::string>{"logon me secret 0", "send " + session + " 0", "logoff " + session}));
    const StubMessage &message = stub.record().message;
    EXPECT_EQ(message.window, 0x77u);
    EXPECT_EQ(message.subject, "Subject");
    EXPECT_EQ(message.text, "Text");
    EXPECT_TRUE(message.nullFields);
    EXPECT_EQ(message.originator, (std::vector<StubRecipient>{{MAPI_ORIG, "me", "(null)"}}));
    EXPECT_EQ(message.recipients,
              (std::vector<StubRecipient>{{MAPI_TO, "you", "(null)"}, {MAPI_CC, "them", "(null)"}}));
    ASSERT_EQ(message.files.size(), 1u);
    EXPECT_EQ(message.files[0].position, 0xFFFFFFFFu);
    EXPECT_EQ(message.files[0].flags, 0u);
    EXPECT_EQ(message.files[0].path, "C:\\tmp\\report.txt");
    EXPECT_EQ(message.files[0].name, "shown.txt");
    EXPECT_TRUE(message.files[0].noType);
}

TEST_F(BosSendMail, WithoutRecipientsTheSendDialogIsAskedFor) {
    Stub stub(ZO_TEST_MAPI_STUB);
    profile.set("MAPIDLL", stub.path());
    const struct {
        const char *to, *cc;
        uint32_t flags;
        size_t recipients;
    } cases[] = {
        {"you", nullptr, MAPI_LOGON_UI, 1},
        {"you", "", MAPI_LOGON_UI, 1},                     // an empty cc names nobody
        {nullptr, "them", MAPI_LOGON_UI | MAPI_DIALOG, 0}, // a cc alone is not sent
        {"", nullptr, MAPI_LOGON_UI | MAPI_DIALOG, 0},
    };
    for (const auto &c : cases) {
        stub.record().calls.clear();
        ASSERT_EQ(send(nullptr, c.to, c.cc), MAIL_SUCCESS);
        EXPECT_EQ(stub.record().calls, (std::vector<std::string>{"send 0 " + std::to_string(c.flags)}));
        EXPECT_EQ(stub.record().message.recipients.size(), c.recipients);
        EXPECT_TRUE(stub.record().message.originator.empty());
        EXPECT_TRUE(stub.record().message.files.empty());
    }
}

} // namespace
