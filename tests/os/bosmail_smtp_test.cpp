// bosSendMail through the shipped provider, libzomapi.so, to a local SMTP server that
// takes every message apart with its own mail parser.
#include <zo/bosmail.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/mail.h"

extern char **environ;

namespace {

namespace fs = std::filesystem;

unsigned char *m(const char *text) { return reinterpret_cast<unsigned char *>(const_cast<char *>(text)); }

// The server (smtp_sink.py) in a process of its own, stopped by closing its input.
class SmtpServer {
public:
    explicit SmtpServer(const fs::path &out) {
        int input[2], output[2];
        if (pipe(input) != 0 || pipe(output) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input[0], 0);
        posix_spawn_file_actions_adddup2(&actions, output[1], 1);
        posix_spawn_file_actions_addclose(&actions, input[1]);
        posix_spawn_file_actions_addclose(&actions, output[0]);
        std::string script = ZO_TEST_SMTP_SINK, dir = out.string();
        char *argv[] = {const_cast<char *>(ZO_TEST_PYTHON), script.data(), dir.data(), nullptr};
        if (posix_spawn(&pid_, ZO_TEST_PYTHON, &actions, nullptr, argv, environ) != 0)
            pid_ = 0;
        posix_spawn_file_actions_destroy(&actions);
        close(input[0]);
        close(output[1]);
        stdin_ = input[1];
        char line[32] = {};
        FILE *reader = fdopen(output[0], "r");
        if (pid_ != 0 && reader != nullptr && std::fgets(line, sizeof line, reader) != nullptr)
            port_ = std::atoi(line);
        if (reader != nullptr)
            std::fclose(reader);
    }
    ~SmtpServer() {
        close(stdin_);
        if (pid_ != 0) {
            int status = 0;
            waitpid(pid_, &status, 0);
        }
    }
    int port() const { return port_; }

private:
    pid_t pid_ = 0;
    int stdin_ = -1;
    int port_ = 0;
};

std::string slurp(const fs::path &file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class MailOverSmtp : public ::testing::Test {
protected:
    void SetUp() override {
        if (server.port() == 0)
            GTEST_SKIP() << "no local SMTP server (Debian's python3-aiosmtpd is needed)";
        profile.set("MAPIDLL", ZO_TEST_MAPI_PROVIDER);
        profile.set("SMTPServer", "127.0.0.1");
        profile.set("SMTPPort", std::to_string(server.port()).c_str());
        profile.set("SMTPSender", "driver@example.org");
    }
    // The n-th message the server received, once it is stored.
    fs::path received(int n) const {
        fs::path where = profile.dir().host() / "received" / std::to_string(n);
        for (int i = 0; i < 200 && !fs::exists(where / "done"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return where;
    }

    zotest::MailProfile profile;
    fs::path inbox = (fs::create_directories(profile.dir().host() / "received"), profile.dir().host() / "received");
    SmtpServer server{inbox};
};

TEST_F(MailOverSmtp, TheServerReceivesTheWholeMessage) {
    std::string attachment;
    for (int i = 0; i < 3000; ++i)
        attachment += static_cast<char>(i * 7 % 256); // every byte value, NUL included
    profile.dir().write("data.bin", attachment);
    const std::string path = profile.dir().windows("data.bin");
    ASSERT_EQ(bosSendMail(nullptr, nullptr, nullptr, m("to@example.org"), m("Copy <cc@example.org>"),
                          m("Caf\xE9 report"), m("First line\nsecond line\r\n.\r\nafter a lone dot"), m("report.bin"),
                          m(path.c_str())),
              MAIL_SUCCESS);
    fs::path message = received(1);
    EXPECT_EQ(slurp(message / "subject"), "Caf\xC3\xA9 report"); // decoded from windows-1252
    EXPECT_EQ(slurp(message / "to"), "to@example.org");
    EXPECT_EQ(slurp(message / "cc"), "cc@example.org");
    EXPECT_EQ(slurp(message / "from"), "driver@example.org");
    EXPECT_EQ(slurp(message / "mail_from"), "driver@example.org");
    EXPECT_EQ(slurp(message / "rcpt_tos"), "to@example.org\ncc@example.org");
    EXPECT_EQ(slurp(message / "body"), "First line\r\nsecond line\r\n.\r\nafter a lone dot");
    EXPECT_EQ(slurp(message / "attachment_name"), "report.bin");
    EXPECT_EQ(slurp(message / "attachment"), attachment);
}

TEST_F(MailOverSmtp, TheProfileNamesTheSender) {
    ASSERT_EQ(bosSendMail(nullptr, m("Setup Program"), nullptr, m("to@example.org"), nullptr, m("s"), m("t"), nullptr,
                          nullptr),
              MAIL_SUCCESS);
    EXPECT_EQ(slurp(received(1) / "from"), "Setup Program <driver@example.org>");
    // Address syntax in the name stays inside the name: one sender, the configured address.
    ASSERT_EQ(bosSendMail(nullptr, m("Smith, \"J.\" <x@y>"), nullptr, m("to@example.org"), nullptr, m("s"), m("t"),
                          nullptr, nullptr),
              MAIL_SUCCESS);
    EXPECT_EQ(slurp(received(2) / "from_addresses"), "Smith, \"J.\" <x@y> | driver@example.org");
}

TEST_F(MailOverSmtp, WhatTheProviderCannotDoHasItsStatus) {
    EXPECT_EQ(bosSendMail(nullptr, nullptr, nullptr, m("Somebody"), nullptr, m("s"), m("t"), nullptr, nullptr),
              MAIL_UNKNOWN_RECIPIENT);
    EXPECT_EQ(bosSendMail(nullptr, nullptr, nullptr, m("to@example.org"), nullptr, m("s"), m("t"), m("x"),
                          m("/no/such/file")),
              MAIL_ATTACHMENT_NOT_FOUND);
    // No recipient asks for the send dialog, which a provider without a display cannot show.
    EXPECT_EQ(bosSendMail(nullptr, nullptr, nullptr, nullptr, nullptr, m("s"), m("t"), nullptr, nullptr), MAIL_FAILURE);
    profile.set("SMTPServer", nullptr); // without a server no session can be had
    EXPECT_EQ(bosSendMail(nullptr, m("me"), nullptr, m("to@example.org"), nullptr, m("s"), m("t"), nullptr, nullptr),
              MAIL_LOGON_FAILED);
    EXPECT_EQ(bosSendMail(nullptr, nullptr, nullptr, m("to@example.org"), nullptr, m("s"), m("t"), nullptr, nullptr),
              MAIL_LOGON_FAILED);
    EXPECT_FALSE(fs::exists(profile.dir().host() / "received" / "1")); // nothing got through
}

} // namespace
