// libzomapi.so: a Simple MAPI provider that delivers each message over SMTP with libcurl,
// as one MIME message: the note text as a text part, each attached file as a base64 part.
//
// Settings, each from the environment when set there, else from the [Mail] section of
// WIN.INI (read with the library's profile functions):
//   ZO_SMTP_SERVER  SMTPServer  the server's host name; without one no session can be had
//   ZO_SMTP_PORT    SMTPPort    its port: 25, or 465 with TLS "ssl"
//   ZO_SMTP_SENDER  SMTPSender  envelope sender and From address (default: user@host)
//   ZO_SMTP_TLS     SMTPTLS     "none" (default), "starttls" (required) or "ssl" (implicit)
// A session logged on with a profile name and a password authenticates with them.
//
// There is no display: a logon that would need the logon dialog fails with
// MAPI_E_LOGON_FAILURE, a message that asks for the send dialog with MAPI_E_NOT_SUPPORTED.
// Recipients are taken by address: the recipient's address ("SMTP:" is dropped), else a
// display name that is an address or holds one in angle brackets; any other name is
// MAPI_E_UNKNOWN_RECIPIENT.
#include <zo/pertask.h>
#include <zo/registry.h>
#include <zo/zomapi.h>

#include <curl/curl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/path.h"

#define ZO_MAPI_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

enum class Tls { None, StartTls, Implicit };

struct Settings {
    std::string server;
    long port = 25;
    std::string sender;
    Tls tls = Tls::None;
};

constexpr uint32_t kSessionMark = 0x5A4F4D41; // tells a session of this provider from anything else

struct Session {
    uint32_t mark = kSessionMark;
    Settings settings;
    std::string user;
    std::string password;
};

// A setting: the environment variable when it is set, else the WIN.INI [Mail] entry.
std::string setting(const char *variable, const char *key) {
    if (const char *value = std::getenv(variable); value != nullptr && *value != '\0')
        return value;
    unsigned char value[512] = {};
    (void)ntGetProfileString(reinterpret_cast<const unsigned char *>("Mail"),
                             reinterpret_cast<const unsigned char *>(key), reinterpret_cast<const unsigned char *>(""),
                             value, sizeof value, reinterpret_cast<const unsigned char *>("WIN.INI"), 0);
    return reinterpret_cast<char *>(value);
}

bool sameIgnoringCase(const std::string &a, const char *b) {
    if (a.size() != std::strlen(b))
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string defaultSender() {
    char host[256] = "localhost";
    gethostname(host, sizeof host - 1);
    const char *user = std::getenv("USER");
    return std::string(user != nullptr && *user != '\0' ? user : "zo") + "@" + host;
}

Settings readSettings() {
    Settings s;
    s.server = setting("ZO_SMTP_SERVER", "SMTPServer");
    std::string tls = setting("ZO_SMTP_TLS", "SMTPTLS");
    s.tls = sameIgnoringCase(tls, "ssl")        ? Tls::Implicit
            : sameIgnoringCase(tls, "starttls") ? Tls::StartTls
                                                : Tls::None;
    std::string port = setting("ZO_SMTP_PORT", "SMTPPort");
    s.port = std::atol(port.c_str());
    if (s.port <= 0 || s.port > 65535)
        s.port = s.tls == Tls::Implicit ? 465 : 25;
    s.sender = setting("ZO_SMTP_SENDER", "SMTPSender");
    if (s.sender.empty())
        s.sender = defaultSender();
    return s;
}

// The MIME name of the process's ANSI code page, in which every text of the message is.
const char *charsetName() {
    switch (unsigned page = zo::plat::ansiCodePage()) {
    case 932: return "Shift_JIS";
    case 936: return "GBK";
    case 949: return "EUC-KR";
    case 950: return "Big5";
    default: {
        static const char *const kSingleByte[] = {"windows-1250", "windows-1251", "windows-1252",
                                                  "windows-1253", "windows-1254", "windows-1255",
                                                  "windows-1256", "windows-1257", "windows-1258"};
        return page >= 1250 && page <= 1258 ? kSingleByte[page - 1250] : "windows-1252";
    }
    }
}

std::string base64(const std::string &bytes) {
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size())
            group |= static_cast<unsigned char>(bytes[i + 2]);
        out += kDigits[(group >> 18) & 63];
        out += kDigits[(group >> 12) & 63];
        out += i + 1 < bytes.size() ? kDigits[(group >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kDigits[group & 63] : '=';
    }
    return out;
}

// A header value: line breaks become blanks (a text cannot add header lines), and a value
// that is not plain ASCII is an encoded word in the code page's charset. A phrase (a display
// name before an address) that holds a character of the address syntax is quoted, as that
// character would otherwise split or end it (a comma makes two addresses of it); an encoded
// word needs no quotes.
std::string headerValue(const char *text, bool phrase = false) {
    std::string value = text != nullptr ? text : "";
    bool plain = true;
    for (char &c : value) {
        if (c == '\r' || c == '\n')
            c = ' ';
        plain = plain && static_cast<unsigned char>(c) < 0x80;
    }
    if (!plain)
        return "=?" + std::string(charsetName()) + "?B?" + base64(value) + "?=";
    if (!phrase || value.find_first_of("()<>[]:;@\\,.\"") == std::string::npos)
        return value;
    std::string quoted = "\"";
    for (char c : value) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

// The note text with every line ended by CR LF, as mail is sent.
std::string withCrLf(const char *text) {
    std::string out;
    for (const char *p = text != nullptr ? text : ""; *p != '\0'; ++p) {
        if (*p == '\r' && p[1] == '\n')
            continue;
        if (*p == '\r' || *p == '\n')
            out += "\r\n";
        else
            out += *p;
    }
    return out;
}

// The address of a recipient, or false when it names none.
bool addressOf(const MapiRecipDesc &recipient, std::string *address) {
    std::string text = recipient.lpszAddress != nullptr ? recipient.lpszAddress : "";
    if (sameIgnoringCase(text.substr(0, 5), "SMTP:"))
        text.erase(0, 5);
    if (text.empty() && recipient.lpszName != nullptr) {
        text = recipient.lpszName;
        size_t open = text.find('<'), close = text.rfind('>');
        if (open != std::string::npos && close != std::string::npos && open < close)
            text = text.substr(open + 1, close - open - 1);
    }
    if (text.find('@') == std::string::npos || text.find_first_of(" <>\r\n,") != std::string::npos)
        return false;
    *address = text;
    return true;
}

std::string dateHeader() {
    static const char *const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char *const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char out[64];
    std::snprintf(out, sizeof out, "Date: %s, %02d %s %04d %02d:%02d:%02d +0000", kDays[utc.tm_wday], utc.tm_mday,
                  kMonths[utc.tm_mon], utc.tm_year + 1900, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return out;
}

struct Attachment {
    std::string name;
    std::string bytes;
};

// Reads an attached file (a Windows-form or host path).
uint32_t readAttachment(const MapiFileDesc &file, Attachment *out) {
    if (file.lpszPathName == nullptr || *file.lpszPathName == '\0')
        return MAPI_E_ATTACHMENT_NOT_FOUND;
    char host[4096];
    const auto *path = reinterpret_cast<const unsigned char *>(file.lpszPathName);
    std::string hostPath =
        zo::plat::hostPathOf(path, mdsCharLengthTable(), host, sizeof host) ? host : file.lpszPathName;
    std::error_code error;
    if (!std::filesystem::is_regular_file(hostPath, error))
        return MAPI_E_ATTACHMENT_NOT_FOUND;
    std::ifstream in(hostPath, std::ios::binary);
    if (!in)
        return MAPI_E_ATTACHMENT_OPEN_FAILURE;
    out->bytes.assign(std::istreambuf_iterator<char>(in), {});
    if (in.bad())
        return MAPI_E_ATTACHMENT_OPEN_FAILURE;
    out->name = file.lpszFileName != nullptr && *file.lpszFileName != '\0'
                    ? file.lpszFileName
                    : std::filesystem::path(hostPath).filename().string();
    return SUCCESS_SUCCESS;
}

// Everything curl is handed, freed together.
class Transfer {
public:
    Transfer() : curl_(curl_easy_init()) {}
    ~Transfer() {
        curl_mime_free(mime_);
        curl_slist_free_all(headers_);
        curl_slist_free_all(recipients_);
        if (curl_ != nullptr)
            curl_easy_cleanup(curl_);
    }
    Transfer(const Transfer &) = delete;
    Transfer &operator=(const Transfer &) = delete;

    CURL *curl() const { return curl_; }
    bool addHeader(const std::string &line) { return append(&headers_, line); }
    bool addRecipient(const std::string &address) { return append(&recipients_, "<" + address + ">"); }
    curl_mime *mime() {
        if (mime_ == nullptr)
            mime_ = curl_mime_init(curl_);
        return mime_;
    }
    curl_slist *headers() const { return headers_; }
    curl_slist *recipients() const { return recipients_; }

private:
    static bool append(curl_slist **list, const std::string &text) {
        curl_slist *grown = curl_slist_append(*list, text.c_str());
        if (grown == nullptr)
            return false;
        *list = grown;
        return true;
    }

    CURL *curl_;
    curl_mime *mime_ = nullptr;
    curl_slist *headers_ = nullptr;
    curl_slist *recipients_ = nullptr;
};

uint32_t resultOf(CURLcode code, long response) {
    if (code == CURLE_OUT_OF_MEMORY)
        return MAPI_E_INSUFFICIENT_MEMORY;
    if (code == CURLE_LOGIN_DENIED || response == 535 || response == 530)
        return MAPI_E_LOGON_FAILURE;
    if (response == 550 || response == 551 || response == 553)
        return MAPI_E_UNKNOWN_RECIPIENT;
    if (response == 552)
        return MAPI_E_TEXT_TOO_LARGE;
    if (code == CURLE_COULDNT_RESOLVE_HOST || code == CURLE_COULDNT_CONNECT || code == CURLE_OPERATION_TIMEDOUT)
        return MAPI_E_NETWORK_FAILURE;
    return MAPI_E_FAILURE;
}

// The recipients' addresses and the To and Cc header lines.
uint32_t addRecipients(const MapiMessage &message, Transfer &transfer) {
    if (message.nRecipCount == 0 || message.lpRecips == nullptr)
        return MAPI_E_INVALID_RECIPS;
    std::string to, cc;
    for (uint32_t i = 0; i < message.nRecipCount; ++i) {
        const MapiRecipDesc &recipient = message.lpRecips[i];
        std::string address;
        if (recipient.ulRecipClass < MAPI_TO || recipient.ulRecipClass > MAPI_BCC)
            return MAPI_E_BAD_RECIPTYPE;
        if (!addressOf(recipient, &address))
            return MAPI_E_UNKNOWN_RECIPIENT;
        if (!transfer.addRecipient(address))
            return MAPI_E_INSUFFICIENT_MEMORY;
        std::string &line = recipient.ulRecipClass == MAPI_TO ? to : cc;
        if (recipient.ulRecipClass != MAPI_BCC)
            line += (line.empty() ? "" : ", ") + address;
    }
    if ((!to.empty() && !transfer.addHeader("To: " + to)) || (!cc.empty() && !transfer.addHeader("Cc: " + cc)))
        return MAPI_E_INSUFFICIENT_MEMORY;
    return SUCCESS_SUCCESS;
}

// The text part and one part per attached file; the attachments' bytes are kept in files.
uint32_t addParts(const MapiMessage &message, Transfer &transfer, std::vector<Attachment> &files) {
    const std::string body = withCrLf(message.lpszNoteText);
    const std::string type = std::string("text/plain; charset=") + charsetName();
    curl_mimepart *text = curl_mime_addpart(transfer.mime());
    if (text == nullptr || curl_mime_data(text, body.data(), body.size()) != CURLE_OK ||
        curl_mime_type(text, type.c_str()) != CURLE_OK || curl_mime_encoder(text, "quoted-printable") != CURLE_OK)
        return MAPI_E_INSUFFICIENT_MEMORY;
    files.resize(message.nFileCount);
    for (uint32_t i = 0; i < message.nFileCount; ++i) {
        if (uint32_t read = readAttachment(message.lpFiles[i], &files[i]); read != SUCCESS_SUCCESS)
            return read;
        curl_mimepart *part = curl_mime_addpart(transfer.mime());
        if (part == nullptr || curl_mime_data(part, files[i].bytes.data(), files[i].bytes.size()) != CURLE_OK ||
            curl_mime_filename(part, files[i].name.c_str()) != CURLE_OK ||
            curl_mime_type(part, "application/octet-stream") != CURLE_OK ||
            curl_mime_encoder(part, "base64") != CURLE_OK)
            return MAPI_E_INSUFFICIENT_MEMORY;
    }
    return SUCCESS_SUCCESS;
}

uint32_t deliver(const Session &session, const MapiMessage &message) {
    Transfer transfer;
    if (transfer.curl() == nullptr || transfer.mime() == nullptr)
        return MAPI_E_INSUFFICIENT_MEMORY;
    const Settings &s = session.settings;
    std::string from = s.sender;
    if (message.lpOriginator != nullptr && message.lpOriginator->lpszName != nullptr &&
        *message.lpOriginator->lpszName != '\0')
        from = headerValue(message.lpOriginator->lpszName, true) + " <" + s.sender + ">";
    std::vector<Attachment> files;
    if (uint32_t made = addRecipients(message, transfer); made != SUCCESS_SUCCESS)
        return made;
    if (!transfer.addHeader(dateHeader()) || !transfer.addHeader("From: " + from) ||
        !transfer.addHeader("Subject: " + headerValue(message.lpszSubject)))
        return MAPI_E_INSUFFICIENT_MEMORY;
    if (uint32_t made = addParts(message, transfer, files); made != SUCCESS_SUCCESS)
        return made;
    const std::string url =
        std::string(s.tls == Tls::Implicit ? "smtps://" : "smtp://") + s.server + ":" + std::to_string(s.port);
    const std::string mailFrom = "<" + s.sender + ">";
    CURL *curl = transfer.curl();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 30L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 300L);
    if (s.tls == Tls::StartTls)
        curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    if (!session.password.empty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, session.user.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, session.password.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, mailFrom.c_str());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, transfer.recipients());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, transfer.headers());
    curl_easy_setopt(curl, CURLOPT_MIMEPOST, transfer.mime());
    CURLcode code = curl_easy_perform(curl);
    long response = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response);
    return code == CURLE_OK ? SUCCESS_SUCCESS : resultOf(code, response);
}

Session *sessionOf(ZoMapiSession handle) {
    auto *session = reinterpret_cast<Session *>(handle);
    return session != nullptr && session->mark == kSessionMark ? session : nullptr;
}

// Runs a step, turning memory exhaustion into the Simple MAPI code: nothing may be thrown
// across the provider's C entry points.
template <class Step>
uint32_t guarded(Step step) {
    try {
        return step();
    } catch (const std::bad_alloc &) {
        return MAPI_E_INSUFFICIENT_MEMORY;
    } catch (...) {
        return MAPI_E_FAILURE;
    }
}

} // namespace

ZO_MAPI_EXPORT uint32_t MAPILogon(uintptr_t, char *profileName, char *password, ZoMapiFlags, uint32_t,
                                  ZoMapiSession *session) {
    return guarded([&]() -> uint32_t {
        if (session == nullptr)
            return MAPI_E_FAILURE;
        *session = 0;
        Settings settings = readSettings();
        // Without a server (or a profile) the logon dialog would be needed; there is none.
        if (settings.server.empty() || profileName == nullptr || *profileName == '\0')
            return MAPI_E_LOGON_FAILURE;
        auto *made = new Session;
        made->settings = std::move(settings);
        made->user = profileName;
        made->password = password != nullptr ? password : "";
        *session = reinterpret_cast<ZoMapiSession>(made);
        return SUCCESS_SUCCESS;
    });
}

ZO_MAPI_EXPORT uint32_t MAPISendMail(ZoMapiSession session, uintptr_t, MapiMessage *message, ZoMapiFlags flags,
                                     uint32_t) {
    return guarded([&]() -> uint32_t {
        if (message == nullptr)
            return MAPI_E_INVALID_MESSAGE;
        if (session != 0 && sessionOf(session) == nullptr)
            return MAPI_E_INVALID_SESSION;
        if (flags & MAPI_DIALOG)
            return MAPI_E_NOT_SUPPORTED;
        Session temporary;
        if (session == 0) {
            temporary.settings = readSettings();
            if (temporary.settings.server.empty())
                return MAPI_E_LOGON_FAILURE;
        }
        return deliver(session != 0 ? *sessionOf(session) : temporary, *message);
    });
}

ZO_MAPI_EXPORT uint32_t MAPILogoff(ZoMapiSession session, uintptr_t, ZoMapiFlags, uint32_t) {
    Session *known = sessionOf(session);
    if (known == nullptr)
        return MAPI_E_INVALID_SESSION;
    known->mark = 0;
    delete known;
    return SUCCESS_SUCCESS;
}
