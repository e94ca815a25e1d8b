// Sending mail through the Simple MAPI library that WIN.INI names: [Mail] MAPIDLL. The
// library is loaded for each message and freed after it; nothing is kept between calls.
#include <zo/bosmail.h>
#include <zo/pertask.h>
#include <zo/registry.h>
#include <zo/zomapi.h>

#include "platform/module.h"

namespace {

namespace plat = zo::plat;

// The default that tells "no library named" apart from any real name.
constexpr unsigned char kNotNamed[] = "XYZZY";
constexpr uint32_t kLibraryNameSize = 388;
constexpr uint32_t kNotPlaced = 0xFFFFFFFF;

// An empty text names nothing: no profile, recipient or attachment.
bool given(const unsigned char *text) { return text != nullptr && text[0] != '\0'; }

char *chars(unsigned char *text) { return reinterpret_cast<char *>(text); }

bool sameText(const unsigned char *a, const unsigned char *b) {
    while (*a != '\0' && *a == *b)
        ++a, ++b;
    return *a == *b;
}

MailStatus statusOf(uint32_t result) {
    switch (result) {
    case SUCCESS_SUCCESS: return MAIL_SUCCESS;
    case MAPI_E_LOGON_FAILURE: return MAIL_LOGON_FAILED;
    case MAPI_E_INSUFFICIENT_MEMORY: return MAIL_NO_MEMORY;
    case MAPI_E_AMBIGUOUS_RECIPIENT: return MAIL_AMBIGUOUS_RECIPIENT;
    case MAPI_E_ATTACHMENT_NOT_FOUND: return MAIL_ATTACHMENT_NOT_FOUND;
    case MAPI_E_ATTACHMENT_OPEN_FAILURE: return MAIL_ATTACHMENT_OPEN_FAILURE;
    case MAPI_E_UNKNOWN_RECIPIENT: return MAIL_UNKNOWN_RECIPIENT;
    case MAPI_E_TOO_MANY_FILES: return MAIL_TOO_MANY_FILES;
    case MAPI_E_TOO_MANY_RECIPIENTS: return MAIL_TOO_MANY_RECIPIENTS;
    case MAPI_E_TEXT_TOO_LARGE: return MAIL_TEXT_TOO_LARGE;
    default: return MAIL_FAILURE;
    }
}

// The loaded mail library, freed when the call ends.
class MailLibrary {
public:
    explicit MailLibrary(const unsigned char *name) : module_(plat::moduleLoad(name, mdsCharLengthTable())) {}
    ~MailLibrary() { plat::moduleFree(module_); }
    MailLibrary(const MailLibrary &) = delete;
    MailLibrary &operator=(const MailLibrary &) = delete;

    bool loaded() const { return module_ != nullptr; }
    template <class Function>
    Function entry(const char *name) const {
        return reinterpret_cast<Function>(plat::moduleSymbol(module_, name));
    }

private:
    void *module_;
};

// The message as Simple MAPI publishes it: recipients by display name only.
struct Message {
    MapiRecipDesc originator{};
    MapiRecipDesc recipients[2]{};
    MapiFileDesc attachment{};
    MapiMessage message{};

    Message(unsigned char *profile, unsigned char *to, unsigned char *cc, unsigned char *subject, unsigned char *text,
            unsigned char *attachmentName, unsigned char *attachmentPath) {
        message.lpszSubject = chars(subject);
        message.lpszNoteText = chars(text);
        if (given(profile)) {
            originator.ulRecipClass = MAPI_ORIG;
            originator.lpszName = chars(profile);
            message.lpOriginator = &originator;
        }
        if (given(to)) {
            recipients[0].ulRecipClass = MAPI_TO;
            recipients[0].lpszName = chars(to);
            message.nRecipCount = 1;
            if (given(cc)) {
                recipients[1].ulRecipClass = MAPI_CC;
                recipients[1].lpszName = chars(cc);
                message.nRecipCount = 2;
            }
            message.lpRecips = recipients;
        }
        if (given(attachmentPath)) {
            attachment.nPosition = kNotPlaced;
            attachment.lpszPathName = chars(attachmentPath);
            attachment.lpszFileName = chars(attachmentName);
            message.nFileCount = 1;
            message.lpFiles = &attachment;
        }
    }
};

} // namespace

MailStatus bosSendMail(HWND window, unsigned char *profile, unsigned char *password, unsigned char *to,
                       unsigned char *cc, unsigned char *subject, unsigned char *text, unsigned char *attachmentName,
                       unsigned char *attachmentPath) {
    unsigned char libraryName[kLibraryNameSize];
    (void)ntGetProfileString(reinterpret_cast<const unsigned char *>("Mail"),
                             reinterpret_cast<const unsigned char *>("MAPIDLL"), kNotNamed, libraryName,
                             sizeof libraryName, reinterpret_cast<const unsigned char *>("WIN.INI"), 0); // name read
    if (sameText(libraryName, kNotNamed))
        return MAIL_NOT_CONFIGURED;
    MailLibrary library(libraryName);
    if (!library.loaded())
        return MAIL_LOAD_FAILED;
    auto send = library.entry<MapiSendMailFunction>("MAPISendMail");
    if (send == nullptr)
        return MAIL_NO_SEND;
    const auto ui = reinterpret_cast<uintptr_t>(window);
    ZoMapiSession session = 0;
    MapiLogoffFunction logoff = nullptr;
    if (given(profile)) {
        auto logon = library.entry<MapiLogonFunction>("MAPILogon");
        logoff = library.entry<MapiLogoffFunction>("MAPILogoff");
        if (logon == nullptr || logoff == nullptr ||
            logon(ui, chars(profile), chars(password), 0, 0, &session) != SUCCESS_SUCCESS)
            return MAIL_LOGON_FAILED;
    }
    Message message(profile, to, cc, subject, text, attachmentName, attachmentPath);
    // Without a session the mail system may ask for a logon; without a recipient the user
    // completes the message in its send dialog.
    ZoMapiFlags flags = (session == 0 ? MAPI_LOGON_UI : 0) | (given(to) ? 0 : MAPI_DIALOG);
    uint32_t result = send(session, ui, &message.message, flags, 0);
    if (session != 0)
        (void)logoff(session, ui, 0, 0); // the message's fate is already known
    return statusOf(result);
}
