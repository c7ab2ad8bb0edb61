#include "platform/users/WZPassword.h"

#include <cstring>

#include "platform/settings/SettingValues.h"

namespace WZPassword {
namespace {

const char kPrefix[] = "wzx1:";
const unsigned char kKey[] = {0x5a, 0xc3, 0x17, 0x8e, 0x21, 0x6b, 0xf4, 0x39};

}  // namespace

std::string encrypt(const std::string& plain) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text = kPrefix;
    for (size_t i = 0; i < plain.size(); ++i) {
        const unsigned char byte = static_cast<unsigned char>(plain[i]) ^ kKey[i % sizeof kKey];
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xf];
    }
    return text;
}

int decrypt(const char* enciphered, char* out, size_t capacity) {
    if (out == nullptr || capacity == 0) {
        return -1;
    }
    wipePassword(out, capacity);
    const size_t prefix = sizeof kPrefix - 1;
    if (enciphered == nullptr || std::strncmp(enciphered, kPrefix, prefix) != 0) {
        return -1;
    }
    const char* hex = enciphered + prefix;
    const size_t digits = std::strlen(hex);
    if (digits % 2 != 0 || digits / 2 >= capacity) {
        return -1;
    }
    for (size_t i = 0; i < digits / 2; ++i) {
        const int high = wzsettings::hexDigit(hex[2 * i]);
        const int low = wzsettings::hexDigit(hex[2 * i + 1]);
        // A digit that is not hex is refused before it takes part in any arithmetic.
        const unsigned char byte =
            high < 0 || low < 0 ? 0 : static_cast<unsigned char>(((high << 4) | low) ^ kKey[i % sizeof kKey]);
        if (byte == 0) {
            wipePassword(out, capacity);
            return -1;
        }
        out[i] = static_cast<char>(byte);
    }
    return 0;
}

void wipePassword(char* buffer, size_t size) {
    volatile char* p = buffer;
    for (size_t i = 0; i < size; ++i) {
        p[i] = 0;
    }
}

}  // namespace WZPassword
