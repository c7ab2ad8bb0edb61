#pragma once
// The directories the platform names. Everything a job writes outside its destination lives under one results
// directory that the host gives (a new directory under $TMPDIR when it gives none), so a job touches nothing else of
// the machine. Each directory is created (mode 0755, parents too) when it is asked for; the answer is the path even
// when it cannot be created, and the caller's own open then fails with the reason.
// The results directory is held open once named: what lies below it is made, entered and opened beneath that
// descriptor, one component at a time and never through a symbolic link, so a link planted there (by whoever may
// write to it) cannot carry the job's writes elsewhere.
#include <sys/types.h>

#include <string>

namespace wzplatform {

// A relative path is made absolute now, so a later change of the working directory does not move the results.
void setResultsDirectory(const std::string& path);
std::string resultsDirectory();

// <results>/agent: the file-system agent's own directory (restart records live below it).
std::string agentDirectory();
// Base/dBASEHOME when set, else <results>/install.
std::string installationDirectory();
// <results>/jobresults: where the job-results directories of clients are made.
std::string jobResultsDirectory();
// Base/dNEBRINTEMPDIR when set, else <results>/tmp.
std::string temporaryDirectory();
// <installation directory>/run: named locks and hook files shared by every process of the installation, so two
// jobs (or a job and the client's own scans) given the same installation directory meet there.
std::string runDirectory();
// EventManager/dEVLOGDIR when set, else the results directory itself (fclrestore.log beside journal.log).
std::string logDirectory();

// Creates `path` and its missing parents with mode 0755; true when it is a directory afterwards. Below the results
// directory a link on the way fails it with ELOOP.
bool makeDirectories(const std::string& path);
// open(2) of `path` with O_NOFOLLOW added; below the results directory no component on the way may be a link
// either (ELOOP). The directories on the way must exist.
int openFile(const std::string& path, int flags, mode_t mode = 0644);

}  // namespace wzplatform
