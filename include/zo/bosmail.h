// Sending a message through the mail library named in WIN.INI ([Mail] MAPIDLL), loaded for
// each message and freed after it.
#pragma once

#include <zo/zoexport.h>
#include <zo/zowindow.h>

enum MailStatus : int {
    MAIL_SUCCESS = 0,
    MAIL_NOT_CONFIGURED = 1, // no mail library is named
    MAIL_LOAD_FAILED = 2,    // the mail library cannot be loaded
    MAIL_NO_SEND = 3,        // it has no MAPISendMail
    MAIL_LOGON_FAILED = 4,   // logon failed or is missing, or sending reported a logon failure
    MAIL_NO_MEMORY = 5,      // the mail system ran out of memory
    MAIL_AMBIGUOUS_RECIPIENT = 6,
    MAIL_FAILURE = 7, // any other failure, the user's cancel included
    MAIL_ATTACHMENT_NOT_FOUND = 8,
    MAIL_ATTACHMENT_OPEN_FAILURE = 9,
    MAIL_UNKNOWN_RECIPIENT = 10,
    MAIL_TOO_MANY_FILES = 11,
    MAIL_TOO_MANY_RECIPIENTS = 12,
    MAIL_TEXT_TOO_LARGE = 13
};

// Sends a message; every text may be null. With a profile the mail library is logged on
// (with the password) and the profile is the originator; without one the mail system may
// ask for a logon. `to` (and `cc` beside it) are recipients by display name; without `to`
// there are none and the mail system's send dialog is asked for. The attachment, when its
// path is given, is one file shown as attachmentName. Records no error.
ZO_API MailStatus bosSendMail(HWND window, unsigned char *profile, unsigned char *password, unsigned char *to,
                              unsigned char *cc, unsigned char *subject, unsigned char *text,
                              unsigned char *attachmentName, unsigned char *attachmentPath);
