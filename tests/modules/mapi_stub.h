// What the test provider of the mail tests records, shared by the provider and the tests
// (which hold the provider loaded to read and steer it through zoStubRecord).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct StubRecipient {
    uint32_t recipientClass;
    std::string name;
    std::string address;
    bool operator==(const StubRecipient &) const = default;
};

struct StubFile {
    uint32_t position;
    uint32_t flags;
    std::string path;
    std::string name;
    bool noType;
};

struct StubMessage {
    uintptr_t window = 0;
    std::string subject, text;
    bool nullFields = false;
    std::vector<StubRecipient> originator;
    std::vector<StubRecipient> recipients;
    std::vector<StubFile> files;
};

struct StubRecord {
    uint32_t logonResult = 0;
    uint32_t sendResult = 0;
    std::vector<std::string> calls;
    StubMessage message;
};

using StubRecordFunction = StubRecord *(*)();
