#pragma once
// The focus (which client of the installation this process acts for) and the views of the installation's agents that
// a job reads: the client, the media agent and the file-system agent. This machine is one client with both agents.
#include <string>

#include "platform/settings/WZPlatformInfo.h"
#include "platform/support/FaultCounter.h"

class EvEvent;

class WZPI_Focus {
public:
    // The name of the client in focus: the setting Base/sClientName, else this machine's host name. `shortName`
    // drops a domain part.
    static std::string getFocusClientName(bool shortName);
    // The focus itself (the installation instance this process belongs to): "Instance001".
    static std::string getFocus();
    // True when `hostName` names this machine: its host name, with or without its domain, or "localhost".
    static bool isThisHost(const std::string& hostName);
};

class WZPI_CommClient : public WZPI_PlatformBase {
public:
    explicit WZPI_CommClient(EvEvent* event = nullptr) : event_(event) {}
    // 0 when the client platform is installed and usable.
    int invalidWZPlatform() const;
    // The job-results directory of `clientName` (created when missing).
    std::string getJobResultsDirectory(const char* clientName);

    // Test hook: armed, invalidWZPlatform reports the platform as unusable.
    static wzfault::FaultCounter& invalidFaults();

private:
    EvEvent* event_;
};

class WZPI_MediaAgent : public WZPI_PlatformBase {
public:
    int invalidWZPlatform() const;
    static wzfault::FaultCounter& invalidFaults();
};

class WZPI_FileSystemAgent : public WZPI_PlatformBase {
public:
    explicit WZPI_FileSystemAgent(const char* clientName = nullptr) : clientName_(clientName ? clientName : "") {}
    // 0 when the file-system agent is installed for the client.
    int invalidApplicationAgentType() const;
    // The agent's job-results directory for the client, created when missing; false (with the last error set) when
    // the agent has none.
    bool getJobResultsDirectory(std::string* directory);
    // The agent's own directory.
    std::string getAgentDirectory();
    // Non-zero when restored files are to be unlinked before they are opened: the setting
    // FileSystemAgent/nRemoveBeforeOpen (absent: 0).
    int getRemoveBeforeOpen();

    // Test hooks: armed, the agent refuses the client, or has no job-results directory (last error ENOENT).
    static wzfault::FaultCounter& invalidFaults();
    static wzfault::FaultCounter& noResultsDirectoryFaults();

private:
    std::string clientName_;
};
