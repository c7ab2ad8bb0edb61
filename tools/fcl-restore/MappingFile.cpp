#include "tools/fcl-restore/MappingFile.h"

#include <cerrno>
#include <cstring>
#include <fstream>

namespace fclhost {
namespace {

bool isRange(const std::string& text) {
    const size_t comma = text.find(',');
    const std::string start = text.substr(0, comma);
    const std::string end = comma == std::string::npos ? "" : text.substr(comma + 1);
    auto digits = [](const std::string& part) {
        return !part.empty() && part.find_first_not_of("0123456789") == std::string::npos;
    };
    return digits(start) && (comma == std::string::npos || digits(end));
}

// What is wrong with one line of the file; "" when it is an entry.
std::string lineProblem(const std::string& line) {
    if (!line.empty() && line.back() == '\r') {
        return "it ends with a carriage return (write the file with Unix line ends)";
    }
    const size_t separator = line.rfind("\",\"");
    if (line.empty() || line[0] != '"' || separator == std::string::npos || separator == 0) {
        return "it is not \"SOURCE\",\"DESTINATION\"";
    }
    const std::string source = line.substr(1, separator - 1);
    std::string destination = line.substr(separator + 3);
    const size_t rangeMark = destination.rfind("\",");
    if (rangeMark != std::string::npos) {
        if (!isRange(destination.substr(rangeMark + 2))) {
            return "its byte range is not START or START,END in decimal digits";
        }
        destination.resize(rangeMark);
    } else if (destination.empty() || destination.back() != '"') {
        return "its destination does not end with a double quote";
    } else {
        destination.pop_back();
    }
    if (source.empty() || source[0] != '/') {
        return "its source is not an absolute path";
    }
    if (!destination.empty() && destination[0] != '/') {
        return "its destination is neither an absolute path nor empty";
    }
    return "";
}

}  // namespace

bool checkMappingFile(const std::string& path, std::string* why) {
    std::ifstream in(path);
    if (!in) {
        *why = "cannot read the mapping file " + path + ": " + strerror(errno);
        return false;
    }
    std::string line;
    size_t number = 0;
    size_t entries = 0;
    while (std::getline(in, line)) {
        ++number;
        if (line.empty()) {
            continue;
        }
        const std::string problem = lineProblem(line);
        if (!problem.empty()) {
            *why = "the mapping file " + path + ", line " + std::to_string(number) + ": " + problem;
            return false;
        }
        ++entries;
    }
    if (in.bad()) {
        *why = "cannot read the mapping file " + path;
        return false;
    }
    if (entries == 0) {
        *why = "the mapping file " + path + " names no entry";
        return false;
    }
    return true;
}

}  // namespace fclhost
