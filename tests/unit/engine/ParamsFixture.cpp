#include "tests/unit/engine/ParamsFixture.h"

#include <sstream>

#include "platform/results/StoreResults.h"

namespace jobtest {

void ParamsFixture::writeSettings(const std::string& text) {
    fcltest::writeFile(settingsPath_, text);
}

bool ParamsFixture::setParams(const ParamsPlan& plan) {
    FSRSetParams params;
    params.destDir = const_cast<char*>(plan.destDir.c_str());
    params.options = plan.options;
    params.numSrcPaths = plan.numSrcPaths;
    EXPECT_FALSE(fir_->send(FSR_MSG_SET_PARAMS, &params, sizeof params).IsError());
    bool result = false;
    EXPECT_TRUE(job()->waitSetParams(20000, &result)) << "the parameters handler did not end";
    return result;
}

void ParamsFixture::finishJob() {
    fir_->send(FSR_MSG_RESTORE_END);
    endJob();
}

OptionsFactory* ParamsFixture::giveFactory(unsigned long options) {
    auto* factory = new OptionsFactory(job_.get(), options);
    delete job_->_factory;
    job_->_factory = factory;
    return factory;
}

std::vector<std::string> ParamsFixture::resultLines() {
    std::vector<std::string> lines;
    if (job_->_results == nullptr) {
        return lines;
    }
    // The lines that wait go out, as when the reader waits for the stream.
    job_->flushItemReports(false);
    std::istringstream in(fcltest::readFile(job_->_results->filePath()));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
}

}  // namespace jobtest
