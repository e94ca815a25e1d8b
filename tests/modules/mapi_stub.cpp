// A Simple MAPI provider for the mail tests: it answers what the test tells it and records
// every call with the message it was given. Built three times: whole, without MAPISendMail
// (ZO_STUB_NO_SEND) and without MAPILogon and MAPILogoff (ZO_STUB_NO_LOGON).
#include <zo/zomapi.h>

#include "mapi_stub.h"

namespace {

StubRecord g_record;

std::string copy(const char *text) { return text != nullptr ? text : "(null)"; }

[[maybe_unused]] StubRecipient recipientOf(const MapiRecipDesc &r) {
    return StubRecipient{r.ulRecipClass, copy(r.lpszName), copy(r.lpszAddress)};
}

} // namespace

extern "C" __attribute__((visibility("default"))) StubRecord *zoStubRecord() { return &g_record; }

#ifndef ZO_STUB_NO_LOGON
extern "C" __attribute__((visibility("default"))) uint32_t
MAPILogon(uintptr_t, char *profile, char *password, ZoMapiFlags flags, uint32_t, ZoMapiSession *session) {
    g_record.calls.push_back("logon " + copy(profile) + " " + copy(password) + " " + std::to_string(flags));
    *session = g_record.logonResult == SUCCESS_SUCCESS ? 0x5E55 : 0;
    return g_record.logonResult;
}

extern "C" __attribute__((visibility("default"))) uint32_t MAPILogoff(ZoMapiSession session, uintptr_t, ZoMapiFlags,
                                                                      uint32_t) {
    g_record.calls.push_back("logoff " + std::to_string(session));
    return SUCCESS_SUCCESS;
}
#endif

#ifndef ZO_STUB_NO_SEND
extern "C" __attribute__((visibility("default"))) uint32_t
MAPISendMail(ZoMapiSession session, uintptr_t window, MapiMessage *message, ZoMapiFlags flags, uint32_t) {
    g_record.calls.push_back("send " + std::to_string(session) + " " + std::to_string(flags));
    StubMessage &m = g_record.message;
    m = StubMessage{};
    m.window = window;
    m.subject = copy(message->lpszSubject);
    m.text = copy(message->lpszNoteText);
    m.nullFields = message->lpszMessageType == nullptr && message->lpszDateReceived == nullptr &&
                   message->lpszConversationID == nullptr && message->flFlags == 0;
    if (message->lpOriginator != nullptr)
        m.originator.push_back(recipientOf(*message->lpOriginator));
    for (uint32_t i = 0; i < message->nRecipCount; ++i)
        m.recipients.push_back(recipientOf(message->lpRecips[i]));
    for (uint32_t i = 0; i < message->nFileCount; ++i) {
        const MapiFileDesc &f = message->lpFiles[i];
        m.files.push_back(
            StubFile{f.nPosition, f.flFlags, copy(f.lpszPathName), copy(f.lpszFileName), f.lpFileType == nullptr});
    }
    return g_record.sendResult;
}
#endif
