// Sparse files: holes at the start, in the middle and at the end stay holes by default and become zeros with
// --no-sparse; the data around them is exact.
#include "tests/e2e/EndToEnd.h"

namespace e2e {
namespace {

const TreeLayout kSparse = {
    sparse("hole at start", kMiB, {{0, 256 * kKiB}}),
    sparse("hole in the middle", kMiB, {{256 * kKiB, 512 * kKiB}}),
    sparse("hole at the end", kMiB, {{512 * kKiB, 512 * kKiB}}),
    sparse("holes everywhere", 4 * kMiB,
           {{0, 64 * kKiB}, {kMiB, 4096}, {2 * kMiB, kMiB}, {3 * kMiB + 4096, kMiB - 4096}}),
    sparse("only a hole", 8 * kMiB, {{0, 8 * kMiB}}),
    sparse("page-sized runs", 64 * kKiB, {{4096, 4096}, {12288, 4096}, {20480, 4096}}),
    sparse("short tail after a hole", kMiB + 100, {{4096, kMiB - 4096}}),
};

class SparseFiles : public EndToEnd {};

TEST_F(SparseFiles, StayHolesByDefault) {
    build(kSparse);
    packAndRestore();
    EXPECT_EQ(differences(e2e::Holes::Kept), "");
}

TEST_F(SparseFiles, AreWrittenAsZerosWithNoSparse) {
    build(kSparse);
    packAndRestore({"--no-sparse"});
    EXPECT_EQ(differences(e2e::Holes::Written), "");
}

// A hole length on the stream is 32 bits: a hole of 4 GiB or more comes as several hole buffers.
TEST_F(SparseFiles, AHoleOfFourGiBOrMoreStaysOneHole) {
    const uint64_t kGiB = 1024 * kMiB;
    build({sparse("large hole", 4 * kGiB + 8192, {{4096, 4 * kGiB}})});
    packAndRestore();
    EXPECT_EQ(differences(e2e::Holes::Kept), "");
}

}  // namespace
}  // namespace e2e
