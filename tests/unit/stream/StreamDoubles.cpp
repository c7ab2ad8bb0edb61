#include "tests/unit/stream/StreamDoubles.h"

#include <algorithm>

namespace streamtest {

std::string hex(unsigned long value) {
    char text[32];
    snprintf(text, sizeof text, "0x%lx", value);
    return text;
}

TestObject::TestObject(Journal& journal, FsRestoreObjectsFactory& factory, const ObjectScript& script)
    : journal_(journal), factory_(factory), script_(script) {}

TestObject::~TestObject() {
    journal_.note("destroy " + script_.path);
}

int TestObject::fail() {
    factory_.setErrCode(script_.failCode);
    return script_.failAnswersOne ? 1 : 0;
}

int TestObject::openObject() {
    journal_.note("open " + script_.path);
    if (script_.openCode != 0) {
        factory_.setErrCode(script_.openCode);
    }
    return script_.openResult;
}

int TestObject::writeData(void* buffer, int length) {
    journal_.note("write " + std::to_string(length));
    journal_.writeLengths.push_back(length);
    const char* bytes = static_cast<const char*>(buffer);
    journal_.bytes.append(bytes, static_cast<size_t>(length));
    if (length > 0 && std::all_of(bytes, bytes + length, [](char c) { return c == 0; })) {
        journal_.zeroSources.insert(buffer);
    }
    return writes_++ == script_.failWriteAt ? fail() : 1;
}

int TestObject::makeHole(unsigned int length) {
    journal_.note("hole " + std::to_string(length));
    return holes_++ == script_.failHoleAt ? fail() : 1;
}

int TestObject::closeObject() {
    journal_.note("close " + script_.path + " code=" + hex(factory_.getErrCode()));
    return 1;
}

TestFactory::TestFactory(Journal& journal, unsigned long options)
    : FsRestoreObjectsFactory(nullptr, 0, const_cast<char*>("/dst"), options), journal_(journal) {}

FsRestoreObject* TestFactory::createRestoreObject(CXFileHeader* header, unsigned long version) {
    const std::string name = header->h_filename;
    journal_.note("create " + name + " v" + std::to_string(version));
    Plan plan;
    auto found = plans.find(name);
    if (found != plans.end()) {
        plan = found->second;
    }
    switch (plan.kind) {
        case Plan::kDecline:
            setErrCode(plan.code);
            return nullptr;
        case Plan::kNullWithoutCode:
            return nullptr;
        case Plan::kThrow:
            throw ClExceptError(static_cast<int>(plan.code));
        case Plan::kObject:
            break;
    }
    if (plan.script.path.empty()) {
        plan.script.path = "/dst" + name;
    }
    return new TestObject(journal_, *this, plan.script);
}

void TestJob::HandleRestoreFileUpdate(const char* path, int errCode, FsRestoreObject* object,
                                      const std::string& suffix) {
    journal_.results.push_back(std::string(path) + " " + hex(static_cast<unsigned int>(errCode)) +
                               (object != nullptr ? " obj" : "") + suffix);
    journal_.note("result " + journal_.results.back());
}

}  // namespace streamtest
