// The platform's simple mail interface (Simple MAPI), as a mail library (a provider)
// offers it to bosSendMail: the three entry points, the message records and the flags and
// result codes, with the published field widths (32-bit numbers, pointer-sized handles).
// A provider is a shared library exporting MAPILogon, MAPISendMail and MAPILogoff with C
// names; <zo/bosmail.h> names the one to load.
#pragma once

#include <cstdint>

using ZoMapiFlags = uint32_t;
using ZoMapiSession = uintptr_t; // a logged-on session, 0 for none

// A recipient or the originator: by display name (and optionally an address such as
// "SMTP:someone@example.org").
struct MapiRecipDesc {
    uint32_t ulReserved;
    uint32_t ulRecipClass; // MAPI_ORIG, MAPI_TO, MAPI_CC, MAPI_BCC
    char *lpszName;
    char *lpszAddress;
    uint32_t ulEIDSize;
    void *lpEntryID;
};

// An attached file: its path, the name to show, where it goes in the text.
struct MapiFileDesc {
    uint32_t ulReserved;
    uint32_t flFlags;
    uint32_t nPosition; // 0xFFFFFFFF: not placed in the text
    char *lpszPathName;
    char *lpszFileName;
    void *lpFileType;
};

struct MapiMessage {
    uint32_t ulReserved;
    char *lpszSubject;
    char *lpszNoteText;
    char *lpszMessageType;
    char *lpszDateReceived;
    char *lpszConversationID;
    ZoMapiFlags flFlags;
    MapiRecipDesc *lpOriginator;
    uint32_t nRecipCount;
    MapiRecipDesc *lpRecips;
    uint32_t nFileCount;
    MapiFileDesc *lpFiles;
};

// Recipient classes.
constexpr uint32_t MAPI_ORIG = 0, MAPI_TO = 1, MAPI_CC = 2, MAPI_BCC = 3;

// Flags of MAPILogon and MAPISendMail.
constexpr ZoMapiFlags MAPI_LOGON_UI = 0x00000001; // a logon dialog may be shown
constexpr ZoMapiFlags MAPI_NEW_SESSION = 0x00000002;
constexpr ZoMapiFlags MAPI_DIALOG = 0x00000008; // the send dialog completes the message
constexpr ZoMapiFlags MAPI_FORCE_DOWNLOAD = 0x00001000;
constexpr ZoMapiFlags MAPI_PASSWORD_UI = 0x00020000;

// Results.
constexpr uint32_t SUCCESS_SUCCESS = 0, MAPI_USER_ABORT = 1, MAPI_E_FAILURE = 2, MAPI_E_LOGON_FAILURE = 3,
                   MAPI_E_DISK_FULL = 4, MAPI_E_INSUFFICIENT_MEMORY = 5, MAPI_E_ACCESS_DENIED = 6,
                   MAPI_E_TOO_MANY_SESSIONS = 8, MAPI_E_TOO_MANY_FILES = 9, MAPI_E_TOO_MANY_RECIPIENTS = 10,
                   MAPI_E_ATTACHMENT_NOT_FOUND = 11, MAPI_E_ATTACHMENT_OPEN_FAILURE = 12,
                   MAPI_E_ATTACHMENT_WRITE_FAILURE = 13, MAPI_E_UNKNOWN_RECIPIENT = 14, MAPI_E_BAD_RECIPTYPE = 15,
                   MAPI_E_NO_MESSAGES = 16, MAPI_E_INVALID_MESSAGE = 17, MAPI_E_TEXT_TOO_LARGE = 18,
                   MAPI_E_INVALID_SESSION = 19, MAPI_E_TYPE_NOT_SUPPORTED = 20, MAPI_E_AMBIGUOUS_RECIPIENT = 21,
                   MAPI_E_MESSAGE_IN_USE = 22, MAPI_E_NETWORK_FAILURE = 23, MAPI_E_INVALID_EDITFIELDS = 24,
                   MAPI_E_INVALID_RECIPS = 25, MAPI_E_NOT_SUPPORTED = 26;

// The entry points, as a provider exports them (extern "C").
using MapiLogonFunction = uint32_t (*)(uintptr_t uiParam, char *profileName, char *password, ZoMapiFlags flags,
                                       uint32_t reserved, ZoMapiSession *session);
using MapiSendMailFunction = uint32_t (*)(ZoMapiSession session, uintptr_t uiParam, MapiMessage *message,
                                          ZoMapiFlags flags, uint32_t reserved);
using MapiLogoffFunction = uint32_t (*)(ZoMapiSession session, uintptr_t uiParam, ZoMapiFlags flags, uint32_t reserved);
