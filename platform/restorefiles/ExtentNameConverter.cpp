#include "platform/restorefiles/ExtentNameConverter.h"

#include <cctype>
#include <climits>
#include <cstring>

namespace {

const char kExtentPrefix[] = "Extent";

}  // namespace

int ExtentNameConverter::GetFilePath(unsigned long long extentNumber, std::string& name) {
    name = kExtentPrefix + std::to_string(extentNumber);
    return 0;
}

int ExtentNameConverter::GetFileNameAndExtentNumber(const std::string& path, std::string& name,
                                                    unsigned long long& extentNumber) {
    const size_t slash = path.rfind('/');
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    const size_t prefix = strlen(kExtentPrefix);
    const std::string segment = path.substr(start);
    bool isExtent =
        segment.size() > prefix && segment.compare(0, prefix, kExtentPrefix) == 0 && segment.size() - prefix <= 19;
    unsigned long long number = 0;
    for (size_t i = prefix; isExtent && i < segment.size(); ++i) {
        isExtent = isdigit(static_cast<unsigned char>(segment[i])) != 0;
        number = number * 10 + static_cast<unsigned long long>(segment[i] - '0');
    }
    if (!isExtent || slash == std::string::npos) {
        name = path;
        extentNumber = 0;
        return 1;
    }
    name = path.substr(0, start);
    extentNumber = number;
    return 0;
}
