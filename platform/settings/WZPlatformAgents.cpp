#include "platform/settings/WZPlatformAgents.h"

#include <unistd.h>

#include <cerrno>

#include "platform/settings/PlatformPaths.h"

namespace {

std::string hostName(bool shortName) {
    char name[256] = "";
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') {
        return "localhost";
    }
    std::string text(name);
    if (shortName && text.find('.') != std::string::npos) {
        text.resize(text.find('.'));
    }
    return text;
}

}  // namespace

std::string WZPI_Focus::getFocusClientName(bool shortName) {
    std::string named;
    if (WZPlatformInfo().getString("Base", "sClientName", &named) && !named.empty()) {
        return named;
    }
    return hostName(shortName);
}

std::string WZPI_Focus::getFocus() {
    return "Instance001";
}

bool WZPI_Focus::isThisHost(const std::string& host) {
    return host == "localhost" || host == hostName(false) || host == hostName(true);
}

int WZPI_CommClient::invalidWZPlatform() const {
    return invalidFaults().take() ? 1 : 0;
}

std::string WZPI_CommClient::getJobResultsDirectory(const char*) {
    m_lastError = 0;
    return wzplatform::jobResultsDirectory();
}

wzfault::FaultCounter& WZPI_CommClient::invalidFaults() {
    static wzfault::FaultCounter faults;
    return faults;
}

int WZPI_MediaAgent::invalidWZPlatform() const {
    return invalidFaults().take() ? 1 : 0;
}

wzfault::FaultCounter& WZPI_MediaAgent::invalidFaults() {
    static wzfault::FaultCounter faults;
    return faults;
}

int WZPI_FileSystemAgent::invalidApplicationAgentType() const {
    return invalidFaults().take() ? 1 : 0;
}

bool WZPI_FileSystemAgent::getJobResultsDirectory(std::string* directory) {
    if (noResultsDirectoryFaults().take()) {
        m_lastError = ENOENT;
        return false;
    }
    m_lastError = 0;
    *directory = wzplatform::jobResultsDirectory();
    return true;
}

std::string WZPI_FileSystemAgent::getAgentDirectory() {
    m_lastError = 0;
    return wzplatform::agentDirectory();
}

int WZPI_FileSystemAgent::getRemoveBeforeOpen() {
    unsigned long value = 0;
    WZPlatformInfo settings;
    settings.getNumber("FileSystemAgent", "nRemoveBeforeOpen", &value);
    m_lastError = settings.getLastError();
    return value != 0 ? 1 : 0;
}

wzfault::FaultCounter& WZPI_FileSystemAgent::invalidFaults() {
    static wzfault::FaultCounter faults;
    return faults;
}

wzfault::FaultCounter& WZPI_FileSystemAgent::noResultsDirectoryFaults() {
    static wzfault::FaultCounter faults;
    return faults;
}
