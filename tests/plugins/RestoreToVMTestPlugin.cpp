// A restore-into-a-virtual-machine plug-in for the engine's tests, built as libWZVSAgentless.so. It records the calls
// it receives and fails the step a test names; its folder step makes the job's destination and a staging folder in it.
// Each closed file is taken unless a test names an answer for its file name.
#include <sys/stat.h>

#include <cstring>
#include <map>
#include <string>

#include "platform/vm/VSAgentlessRestoreToVM.h"

namespace {

// The step that fails next: "create", "initialize", "options", "folders" or "folders-after-making" (the folders are
// made, then the step answers false).
std::string g_failAt;
std::string g_calls;
std::string g_destination;
// By the last component of the file's name: "take", "skip" (refused, first flag), "acl" (refused, second flag),
// "both" (refused, both flags) or "fail" (refused, no flag).
std::map<std::string, std::string> g_fileAnswers;

void note(const std::string& call) {
    g_calls += call + ";";
}

class TestRestoreToVM : public VSAgentlessRestoreToVM {
public:
    bool Initialize(FSRInitData* initData, FSRInitDataVer2*, FSRSetParams* setParams, WZRstJobClient*, WZJobCtrlClient*,
                    const std::string& clientName) override {
        note("initialize job " + std::to_string(initData != nullptr ? initData->jobId : -1) + " client " + clientName);
        g_destination = setParams != nullptr && setParams->destDir != nullptr ? setParams->destDir : "";
        return g_failAt != "initialize";
    }
    bool SetJobOptions(TMMsg::JobOption* options) override {
        note(options != nullptr ? "options" : "no options");
        return g_failAt != "options";
    }
    bool RestoreFile(const std::string& name, unsigned long long size, unsigned long long compressedSize,
                     CXFileHeader* header, std::string& message, bool& skipped, bool& aclFailed) override {
        note("file " + name + " " + std::to_string(size) + " " + std::to_string(compressedSize) + " from " +
             (header != nullptr ? header->h_filename : "?"));
        const auto answer = g_fileAnswers.find(name.substr(name.rfind('/') + 1));
        if (answer == g_fileAnswers.end() || answer->second == "take") {
            return true;
        }
        message = "refused by the test";
        skipped = answer->second == "skip" || answer->second == "both";
        aclFailed = answer->second == "acl" || answer->second == "both";
        return false;
    }
    bool CreateDestinationAndStagingFolders() override {
        note("folders");
        if (g_failAt == "folders") {
            return false;
        }
        mkdir(g_destination.c_str(), 0755);
        mkdir((g_destination + "/staging").c_str(), 0755);
        return g_failAt != "folders-after-making";
    }
    void Release() override {
        note("release");
        delete this;
    }
};

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void CreateVSAgentlessRestoreToVMObject(VSAgentlessRestoreToVM** object) {
    *object = g_failAt == "create" ? nullptr : new TestRestoreToVM();
}

__attribute__((visibility("default"))) void fclTestPluginFailAt(const char* step) {
    g_failAt = step != nullptr ? step : "";
}

__attribute__((visibility("default"))) void fclTestPluginAnswerFile(const char* fileName, const char* answer) {
    g_fileAnswers[fileName] = answer;
}

__attribute__((visibility("default"))) const char* fclTestPluginCalls() {
    return g_calls.c_str();
}
}
