// The storage-management stand-ins: this machine has no stub driver, no data manager and no stubs.
#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <new>
#include <vector>

#include "platform/hsm/CXHSMLowLevelCtx.h"
#include "platform/hsm/CXHSMServiceHelper.h"

namespace {

TEST(HsmStandIns, MachineHasNoStubDriverNorDataManagerSoTheModeIsDriverless) {
    EXPECT_FALSE(CXHSMServiceHelper::IsFSFDriverLoaded());
    EXPECT_EQ(IsFSDMInstalled(), 0);
    // The job's choice of mode from these two answers.
    int mode = (!CXHSMServiceHelper::IsFSFDriverLoaded() && IsFSDMInstalled() == 0) ? 2 : 1;
    CXHSMLowLevelCtx ctx(mode);
    EXPECT_EQ(ctx.getuseDriver(), 2);
}

TEST(HsmStandIns, UseCacheIsClassWide) {
    CXHSMServiceHelper::setUseCache(true);
    EXPECT_TRUE(CXHSMServiceHelper::getUseCache());
    CXHSMServiceHelper::setUseCache(false);
    EXPECT_FALSE(CXHSMServiceHelper::getUseCache());
}

TEST(HsmStandIns, NoPathIsAStubAndNothingFailedYet) {
    CXHSMLowLevel hsm;
    EXPECT_EQ(hsm.isStub("/etc/passwd"), 0);
    EXPECT_EQ(hsm.isStub("/no/such/path"), 0);
    EXPECT_EQ(hsm.getLastErrno(), 0);
    EXPECT_EQ(hsm.getLastError(), "");
}

// No file system here is managed: every transparent operation fails and says why.
TEST(HsmStandIns, TransparentAccessFailsWithNotSupported) {
    CXHSMLowLevel hsm;
    EXPECT_EQ(hsm.isManagedDir("/"), 0);
    char byte = 0;
    const int results[] = {
        hsm.openFileTrans("/x", 0, 0600),
        static_cast<int>(hsm.writeFileTrans(&byte, 1, 0)),
        static_cast<int>(hsm.seekFileTrans(1, 1)),
        hsm.closeFileTrans(),
        hsm.completeFile("/x", true, std::vector<uint64_t>()),
        hsm.createStub("/x", std::vector<char>(1024)),
        hsm.setAMCTime("/x", 1, 2, 3),
    };
    for (int result : results) {
        EXPECT_EQ(result, -1);
    }
    EXPECT_EQ(hsm.getLastErrno(), ENOTSUP);
    EXPECT_FALSE(hsm.getLastError().empty());
}

TEST(HsmStandIns, ContextAllocationFailureIsInjectable) {
    CXHSMLowLevelCtx::allocationFaults().failNext(1);
    EXPECT_EQ(new (std::nothrow) CXHSMLowLevelCtx(2), nullptr);
    std::unique_ptr<CXHSMLowLevelCtx> ctx(new (std::nothrow) CXHSMLowLevelCtx(1));
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(ctx->getuseDriver(), 1);
}

TEST(HsmStandIns, ContextWhoseLockCannotBeMadeThrowsTheLockText) {
    WzCriticalSectionH::allocationFaults().failNext(1);
    const char* thrown = nullptr;
    try {
        CXHSMLowLevelCtx ctx(2);
    } catch (const char* text) {
        thrown = text;
    }
    EXPECT_STREQ(thrown, "Not enough memory to initialize WzCriticalSection");
}

}  // namespace
