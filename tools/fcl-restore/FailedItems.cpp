#include "tools/fcl-restore/FailedItems.h"

#include <cstdlib>
#include <cstring>
#include <fstream>

namespace fclhost {
namespace {

constexpr int kNoDestinationStatus = 7;
constexpr int kExcludedStatus = 8;

// The result statuses of an item asked for and not restored; the others are restored or skipped.
bool isFailureStatus(int status) {
    return status == 3 || status == 7 || status == 10 || status == 12;
}

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return "";
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The results file follows a name with its kind, after two blanks, when the item had an object.
std::string withoutKind(std::string name) {
    for (const char* kind : {"  DATA", "  STUB"}) {
        const size_t length = std::strlen(kind);
        if (name.size() > length && name.compare(name.size() - length, length, kind) == 0) {
            name.resize(name.size() - length);
            break;
        }
    }
    return name;
}

// "<name>[  <kind>]   [ <not restored>  <reason>  ] " into the name and the reason.
FailedItem splitLine(const std::string& text) {
    FailedItem item;
    const size_t open = text.rfind(" [ ");
    const size_t close = text.rfind(" ]");
    if (open == std::string::npos || close == std::string::npos || close < open) {
        item.name = withoutKind(trimmed(text));
        return item;
    }
    item.name = withoutKind(trimmed(text.substr(0, open)));
    std::string inside = trimmed(text.substr(open + 3, close - open - 3));
    // The two texts are set apart by two blanks; the first only says the item was not restored.
    const size_t gap = inside.find("  ");
    item.reason = trimmed(gap == std::string::npos ? inside : inside.substr(gap + 2));
    return item;
}

// The errno text `line` holds, as text, as "errno <number>" or as "Error [<number>]", the longest when several
// match; "" when none.
std::string errnoTextIn(const std::string& line) {
    for (const char* form : {"errno ", "Error ["}) {
        const size_t number = line.find(form);
        const int error = number == std::string::npos ? 0 : std::atoi(line.c_str() + number + std::strlen(form));
        if (error > 0) {
            return strerror(error);
        }
    }
    std::string found;
    for (int error = 1; error < 134; ++error) {
        const char* text = strerror(error);
        if (text != nullptr && std::strncmp(text, "Unknown error", 13) != 0 && line.find(text) != std::string::npos &&
            std::strlen(text) > found.size()) {
            found = text;
        }
    }
    return found;
}

}  // namespace

ResultsTally readResults(const std::string& resultsFile, size_t most, bool mapped) {
    ResultsTally tally;
    std::ifstream in(resultsFile);
    std::string line;
    while (std::getline(in, line)) {
        // A resumed job appends to the file of the job it resumes: only the last run's lines are this run's.
        if (line.rfind("BeginIndexedRestore ", 0) == 0) {
            tally = ResultsTally();
            continue;
        }
        const size_t tab = line.rfind('\t');
        if (tab == std::string::npos || tab + 1 == line.size() ||
            line.find_first_not_of("0123456789", tab + 1) != std::string::npos || line.size() - tab > 10) {
            continue;
        }
        const int status = std::stoi(line.substr(tab + 1));
        if (status == kExcludedStatus || (mapped && status == kNoDestinationStatus)) {
            ++(status == kExcludedStatus ? tally.excluded : tally.unmapped);
            continue;
        }
        if (!isFailureStatus(status)) {
            continue;
        }
        ++tally.failed;
        if (tally.first.size() < most) {
            tally.first.push_back(splitLine(line.substr(0, tab)));
        }
    }
    return tally;
}

std::vector<FailedItem> readFailedItems(const std::string& resultsFile, size_t most, uint64_t* total) {
    ResultsTally tally = readResults(resultsFile, most, false);
    *total = tally.failed;
    return std::move(tally.first);
}

bool addFailedLine(const std::string& resultsFile, const std::string& item, const std::string& reason) {
    std::ofstream out(resultsFile, std::ios::app);
    std::string name = item;
    for (char& c : name) {
        c = c == '\n' || c == '\t' ? ' ' : c;
    }
    out << name << "  [ Restore of the item did not complete:  " << reason << "  ] \t3\n";
    return static_cast<bool>(out.flush());
}

void findCauses(const std::string& logFile, const std::string& destDir, std::vector<FailedItem>* items) {
    if (items->empty()) {
        return;
    }
    std::ifstream in(logFile);
    std::string line;
    size_t open = items->size();
    while (open != 0 && std::getline(in, line)) {
        for (FailedItem& item : *items) {
            if (!item.cause.empty()) {
                continue;
            }
            const std::string& name = item.name;
            if (name.empty() || (line.find(name) == std::string::npos &&
                                 line.find(destDir + (name[0] == '/' ? "" : "/") + name) == std::string::npos)) {
                continue;
            }
            item.cause = errnoTextIn(line);
            if (!item.cause.empty()) {
                --open;
            }
        }
    }
}

std::string describeFailedItem(const FailedItem& item) {
    std::string text = item.name;
    if (!item.reason.empty()) {
        text += ": " + item.reason;
    }
    if (!item.cause.empty()) {
        text += (item.reason.empty() ? ": " : " (") + item.cause + (item.reason.empty() ? "" : ")");
    }
    return text;
}

}  // namespace fclhost
