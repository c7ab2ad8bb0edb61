// Permission bits with set-id and sticky, and owners (when root): each restored exactly, the owner before the mode
// so that a change of owner does not clear a set-id bit.
#include "tests/e2e/EndToEnd.h"

namespace e2e {
namespace {

class ModesOwners : public EndToEnd {};

TEST_F(ModesOwners, SetIdAndStickyBitsAreKept) {
    build({
        file("setuid", 10).mode(04755),
        file("setgid", 10).mode(02755),
        file("both", 10).mode(06711),
        file("all bits", 10).mode(07777),
        file("private", 10).mode(0600),
        file("read-only", 10).mode(0444),
        file("executable", 10).mode(0711),
        dir("sticky").mode(01777),
        file("sticky/inner", 1),
        dir("setgid dir").mode(02770),
        file("setgid dir/inner", 1),
    });
    packAndRestore();
    EXPECT_EQ(differences(), "");
}

TEST_F(ModesOwners, OwnersAreRestoredWhenRoot) {
    build({
        file("owned", 10).owner(1234, 5678),
        file("setuid owned", 10).owner(1000, 1000).mode(04755),
        file("setgid owned", 10).owner(2000, 2001).mode(02755),
        file("unreadable", 10).owner(0, 0).mode(0000),
        file("nobody", 10).owner(65534, 65534),
        dir("owned dir").owner(4321, 8765).mode(0750),
        file("owned dir/inner", 3).owner(4321, 8765),
        symlink("owned link", "owned").owner(1111, 2222),
        dir("sticky owned").owner(3000, 3000).mode(01770),
    });
    packAndRestore();
    EXPECT_EQ(differences(), "");
}

TEST_F(ModesOwners, ExtendedAttributesAreKept) {
    build({
        file("file", 10).xattr("user.one", "1").xattr("user.empty", "").xattr("user.long", std::string(4000, 'v')),
        file("binary", 1).xattr("user.bytes", std::string("a\0b\n\xff", 5)),
        dir("dir").xattr("user.on-dir", "yes"),
    });
    packAndRestore();
    EXPECT_EQ(differences(), "");
}

}  // namespace
}  // namespace e2e
