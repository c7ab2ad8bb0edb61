// The fuzz target built as a plain program: restores each seed named on the command line (files, or directories of
// them) once, as the fuzzer would, and fails unless each is restored whole with nothing changed outside. Inputs named
// after --findings are the fuzzer's findings: hostile streams that need only run through as the fuzzer runs them
// (nothing outside changed, and under the sanitizers nothing leaked or misused).
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/FuzzRestore.h"

namespace {

void addSeeds(const std::string& path, std::vector<std::string>& seeds) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        std::vector<std::string> names;
        if (DIR* dir = opendir(path.c_str())) {
            while (const dirent* entry = readdir(dir)) {
                if (entry->d_name[0] != '.') {
                    names.push_back(path + "/" + entry->d_name);
                }
            }
            closedir(dir);
        }
        std::sort(names.begin(), names.end());
        seeds.insert(seeds.end(), names.begin(), names.end());
    } else {
        seeds.push_back(path);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> seeds;
    size_t firstFinding = SIZE_MAX;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--findings") {
            firstFinding = seeds.size();
        } else {
            addSeeds(argv[i], seeds);
        }
    }
    if (seeds.empty()) {
        fprintf(stderr, "fcl-fuzz-replay: no seeds given\n");
        return 2;
    }
    int failures = 0;
    for (size_t i = 0; i < seeds.size(); ++i) {
        const std::string& seed = seeds[i];
        std::ifstream in(seed, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof()) {
            fprintf(stderr, "fcl-fuzz-replay: cannot read %s\n", seed.c_str());
            return 2;
        }
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        const fclfuzz::RestoreReport& report = fclfuzz::lastRestore();
        if (i >= firstFinding) {
            printf("%s: ran through, %llu restored, %llu failed\n", seed.c_str(),
                   static_cast<unsigned long long>(report.restored), static_cast<unsigned long long>(report.failed));
            continue;
        }
        const bool whole = report.succeeded && report.failed == 0 && report.restored != 0;
        printf("%s: %s, %llu restored, %llu failed%s%s\n", seed.c_str(), whole ? "restored" : "NOT restored",
               static_cast<unsigned long long>(report.restored), static_cast<unsigned long long>(report.failed),
               whole ? "" : ": ", whole ? "" : report.reason.c_str());
        failures += whole ? 0 : 1;
    }
    return failures == 0 ? 0 : 1;
}
