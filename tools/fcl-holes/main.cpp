// fcl-holes SOURCE COPY: compares the data runs of every regular file under SOURCE with its copy under COPY.
// Prints one line per difference; exit 0 when every copy keeps its source's holes, 1 when one does not, 2 on error.
#include <ftw.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "tools/fcl-holes/DataRuns.h"

namespace {

std::string g_source;
std::string g_copy;
int g_status = 0;

int visit(const char* path, const struct stat* st, int type, FTW*) {
    if (type != FTW_F || !S_ISREG(st->st_mode)) {
        return 0;
    }
    const std::string relative = std::string(path).substr(g_source.size());
    std::vector<fclholes::DataRun> want, got;
    std::string why;
    if (!fclholes::dataRuns(path, &want, &why) || !fclholes::dataRuns(g_copy + relative, &got, &why)) {
        fprintf(stderr, "fcl-holes: %s\n", why.c_str());
        g_status = 2;
        return 0;
    }
    if (got != want) {
        printf("%s: data runs %s, source %s\n", relative.c_str(), fclholes::describeRuns(got).c_str(),
               fclholes::describeRuns(want).c_str());
        g_status = g_status == 0 ? 1 : g_status;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "Usage: fcl-holes SOURCE COPY\n");
        return 2;
    }
    g_source = argv[1];
    g_copy = argv[2];
    while (g_source.size() > 1 && g_source.back() == '/') {
        g_source.pop_back();
    }
    if (nftw(g_source.c_str(), visit, 64, FTW_PHYS) != 0) {
        perror(("fcl-holes: " + g_source).c_str());
        return 2;
    }
    return g_status;
}
