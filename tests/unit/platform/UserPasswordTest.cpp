// The task's password cipher: a round trip, and the bounds of the buffer a deciphered password lives in.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/users/WZPassword.h"

namespace {

TEST(UserPassword, DecipheringStaysWithinItsBufferAndLeavesNothingWhenItFails) {
    char out[9];
    ASSERT_EQ(WZPassword::decrypt(WZPassword::encrypt("12345678").c_str(), out, sizeof out), 0);
    EXPECT_STREQ(out, "12345678");

    const struct {
        const char* what;
        std::string text;
    } refused[] = {
        {"one byte longer than the buffer holds", WZPassword::encrypt("123456789")},
        {"far longer", WZPassword::encrypt(std::string(5000, 'p'))},
        {"not ours", "plain text"},
        {"an odd number of digits", WZPassword::encrypt("abc") + "0"},
        {"not hex", "wzx1:zz"},
        {"a zero byte inside", WZPassword::encrypt(std::string("a\0b", 3))},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.what);
        std::memset(out, 'x', sizeof out);
        EXPECT_EQ(WZPassword::decrypt(r.text.c_str(), out, sizeof out), -1);
        EXPECT_EQ(std::string(out, sizeof out), std::string(sizeof out, '\0')) << "nothing of it is left behind";
    }
    EXPECT_EQ(WZPassword::decrypt(nullptr, out, sizeof out), -1);

    WZPassword::wipePassword(out, sizeof out);
    EXPECT_EQ(std::string(out, sizeof out), std::string(sizeof out, '\0'));
}

}  // namespace
