#pragma once
// The engine's end of a FIR driver's session, scripted by a test: each expected message is received in turn, with
// the driver's answers to error reports set aside whenever they come.
#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "platform/session/CWzNetwork.h"
#include "protocol/FsrMessages.h"
#include "protocol/FsrRecords.h"
#include "tests/common/TestSupport.h"
#include "tools/fir/FirJob.h"

namespace firtest {

struct Received {
    unsigned long code = 0;
    std::unique_ptr<wzsDatabuf_v2> buffer = std::make_unique<wzsDatabuf_v2>();
    template <typename Record>
    const Record& as() const {
        return *reinterpret_cast<const Record*>(buffer->getDataBuffer());
    }
};

class FakeEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::unique_ptr<CWzNetwork> firEnd;
        ASSERT_FALSE(CWzNetwork::makePair(&firEnd, &engine).IsError());
        fir = std::make_unique<fir::FirSession>(std::move(firEnd));
    }
    void TearDown() override {
        engine->shutdown();
        if (driver.joinable()) {
            driver.join();
        }
    }

    void writeMedia(uint64_t id, const std::string& index) {
        fcltest::writeFile(media / (std::to_string(id) + ".afile"), "");
        fcltest::writeFile(media / (std::to_string(id) + ".index"), index);
    }
    fir::FirJobOptions jobOptions() {
        fir::FirJobOptions options;
        options.mediaDir = media.path();
        options.destDir = "/restore/dest";
        options.waitMs = 10000;
        return options;
    }
    void startJob(const fir::FirJobOptions& options) {
        driver = std::thread([this, options] { result = fir::runDefaultJob(*fir, options); });
    }
    fir::FirJobResult finishJob() {
        driver.join();
        return result;
    }

    // The next message other than an answer to an error report, which must carry `code`.
    Received expect(unsigned long code) {
        for (;;) {
            Received r;
            bool timedOut = false;
            CQiError error = engine->ReceiveXDRMessage(&r.code, r.buffer.get(), nullptr, 0, 10, timedOut);
            EXPECT_FALSE(error.IsError()) << "waiting for " << WZS_PRIM_STRING(code) << ": " << error.AsString();
            if (error.IsError()) {
                return Received();
            }
            if (r.code == FSR_MSG_ERROR_REPORT_7_0 && code != FSR_MSG_ERROR_REPORT_7_0) {
                answers.push_back(std::move(r));
                continue;
            }
            EXPECT_EQ(r.code, code) << WZS_PRIM_STRING(r.code) << " came instead of " << WZS_PRIM_STRING(code);
            return r;
        }
    }
    // Nothing more comes from the driver within a second.
    void expectSilence() {
        Received r;
        bool timedOut = false;
        CQiError error = engine->ReceiveXDRMessage(&r.code, r.buffer.get(), nullptr, 0, 1, timedOut);
        EXPECT_TRUE(error.IsError());
        EXPECT_TRUE(timedOut || engine->isBroken()) << WZS_PRIM_STRING(r.code) << " came";
    }
    void reply(unsigned long code, const void* record = nullptr, size_t length = 0) {
        wzsDatabuf_v2 buffer;
        buffer.setExternalBuffer(static_cast<char*>(const_cast<void*>(record)), length);
        bool timedOut = false;
        ASSERT_FALSE(engine->SendXDRMessage(code, record ? &buffer : nullptr, 0, -1, timedOut).IsError());
    }

    fcltest::ScratchDir media{"fir"};
    std::unique_ptr<CWzNetwork> engine;
    std::unique_ptr<fir::FirSession> fir;
    std::thread driver;
    fir::FirJobResult result;
    std::vector<Received> answers;  // FSR_MSG_ERROR_REPORT_7_0 received while something else was expected
};

}  // namespace firtest
