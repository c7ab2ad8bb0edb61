#pragma once
// Global parameters of the installation, kept in the settings file's section [GlobalParams].
#include <string>

class WZGlobalParam {
public:
    // The parameter's text, "" when it is not set; answers non-zero when it is set.
    static int getProperty(const std::string& name, std::string& value);
    // The progress-update interval of an application type, in seconds, as text: key "UpdateRecoverySec.<appType>"
    // (decimal). Answers true when it is set and not empty.
    static bool getUpdateRecoverySec(unsigned long appType, std::string& seconds);
};
