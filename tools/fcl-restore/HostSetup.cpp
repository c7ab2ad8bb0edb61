#include "tools/fcl-restore/HostSetup.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <boost/make_shared.hpp>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/archive/FsRestoreArchive.h"
#include "platform/log/LogWriter.h"
#include "platform/settings/IniDocument.h"
#include "platform/settings/PlatformPaths.h"
#include "platform/settings/SettingsFile.h"
#include "platform/settings/WZPlatformInfo.h"
#include "tools/fcl-restore/HostLog.h"
#include "tools/fcl-restore/HostPaths.h"
#include "tools/fcl-restore/HostSettings.h"
#include "tools/fcl-restore/MappingFile.h"
#include "tools/fcl-restore/ResultsKeeper.h"
#include "tools/fir/FirJob.h"

namespace fclhost {
namespace {

bool isDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool writeWhole(const std::string& path, const std::string& text, std::string* why) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        *why = "cannot write " + path + ": " + strerror(errno);
        return false;
    }
    int error = wzlog::writeAll(fd, text);
    if (close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error != 0) {
        *why = "cannot write " + path + ": " + strerror(error);
        return false;
    }
    return true;
}

bool makeDirectory(const std::string& path, const char* what, std::string* why) {
    if (!wzplatform::makeDirectories(path)) {
        *why = std::string("cannot create the ") + what + " " + path + ": " + strerror(errno);
        return false;
    }
    return true;
}

// Where the job's results go, checked before anything is made: never at or inside the destination.
bool checkResultsPlace(const HostOptions& options, const std::string& dest, std::string* why) {
    const std::string results = options.resultsDir.empty() ? "" : resolvedPath(options.resultsDir);
    const std::string place = results.empty() ? resolvedPath(stateDirectory() + "/fcl-restore") : results;
    if (isWithin(place, dest)) {
        *why = (results.empty() ? "the default results directory " : "the results directory ") + place +
               " lies inside the destination " + dest + ": name one elsewhere with --results";
        return false;
    }
    return true;
}

thread_local std::string* g_linkFound = nullptr;

int noteLink(const char* path, const struct stat*, int kind, struct FTW*) {
    if (kind != FTW_SL) {
        return 0;
    }
    *g_linkFound = path;
    return 1;
}

// Nothing in the results directory is entered or opened through a symbolic link: one planted there, whoever could
// write to the directory, is refused before the job starts instead of carrying the job's writes elsewhere.
bool refuseLinksIn(const std::string& results, std::string* why) {
    std::string found;
    g_linkFound = &found;
    nftw(results.c_str(), noteLink, 16, FTW_PHYS);
    g_linkFound = nullptr;
    if (found.empty()) {
        return true;
    }
    *why = "the results directory " + results + " holds a symbolic link, " + found +
           ": nothing of the job is written through a link";
    return false;
}

bool makeResultsDirectory(const HostOptions& options, std::string* results, std::string* why) {
    if (!options.resultsDir.empty()) {
        *results = resolvedPath(options.resultsDir);
        return makeDirectory(*results, "results directory", why) && refuseLinksIn(*results, why) &&
               holdResultsDirectory(*results, why);
    }
    return makeDefaultResultsDirectory(results, why) && holdResultsDirectory(*results, why);
}

// The destination exists: one on a read-only file system fails the job before it starts, not item by item.
bool writableDestination(const std::string& dest, std::string* why) {
    struct statvfs fs;
    if (statvfs(dest.c_str(), &fs) == 0 && (fs.f_flag & ST_RDONLY) != 0) {
        *why = "the destination " + dest + " lies on a read-only file system";
        return false;
    }
    return true;
}

bool makeDestination(const std::string& dest, std::string* why) {
    return makeDirectory(dest, "destination", why) && writableDestination(dest, why);
}

bool checkSettingsLogLevel(const std::string& settings, std::string* why) {
    const wzsettings::IniDocument document = wzsettings::IniDocument::parse(settings);
    const std::string* text = document.find("FclRestore", "nLogLevel");
    int level = 0;
    if (text != nullptr && !parseLogLevel(*text, &level)) {
        *why = "the settings' [FclRestore] nLogLevel must be a number from -1 to 100: \"" + *text + "\"";
        return false;
    }
    return true;
}

// A backup the in-process job cannot read fails it before anything is made; an external FIR reads it itself.
bool checkBackup(const HostOptions& options, const std::string& media, std::string* why) {
    std::string reason;
    if (options.listen.empty() && !fir::checkMedia(media, &reason)) {
        *why = "the backup in " + options.mediaDir + " cannot be restored: " + reason;
        return false;
    }
    return true;
}

void pointThePlatform(const PreparedJob& job) {
    wzplatform::setResultsDirectory(job.resultsDir);
    wzplatform::setSettingsFile(job.settingsFile);
    FsRestoreArchive::setMediaDirectory(job.mediaDir);
}

}  // namespace

bool prepareJob(const HostOptions& options, PreparedJob* job, std::string* why) {
    job->mediaDir = resolvedPath(options.mediaDir);
    if (!isDirectory(job->mediaDir)) {
        *why = "the media directory " + options.mediaDir + " is not a directory";
        return false;
    }
    job->destDir = resolvedPath(options.destDir);
    SettingsChoice settings;
    settings.noSparse = options.noSparse;
    settings.overwrite = options.overwrite;
    settings.asRoot = geteuid() == 0;
    settings.userFile = options.settingsFile;
    if (settings.userFile.empty()) {
        const char* named = getenv("FCL_SETTINGS");
        settings.userFile = named != nullptr ? named : "";
    }
    if (!options.mapFile.empty()) {
        settings.mapFile = resolvedPath(options.mapFile);
        if (access(settings.mapFile.c_str(), R_OK) != 0) {
            *why = "cannot read the mapping file " + options.mapFile + ": " + strerror(errno);
            return false;
        }
        if (!checkMappingFile(settings.mapFile, why)) {
            return false;
        }
    }
    std::string text;
    // Every check first: a run refused here leaves no results directory behind.
    if (!composeSettings(settings, &text, why) || !checkSettingsLogLevel(text, why) ||
        !checkResultsPlace(options, job->destDir, why) || !checkBackup(options, job->mediaDir, why) ||
        !makeDestination(job->destDir, why) || !makeResultsDirectory(options, &job->resultsDir, why)) {
        return false;
    }
    job->settingsFile = job->resultsDir + "/settings.ini";
    if (!writeWhole(job->settingsFile, text, why)) {
        return false;
    }
    pointThePlatform(*job);
    return true;
}

bool prepareResumedJob(const JobRecord& record, const std::string& resultsDir, PreparedJob* job, std::string* why) {
    job->mediaDir = record.mediaDir;
    job->destDir = record.destDir;
    job->resultsDir = resultsDir;
    job->settingsFile = resultsDir + "/settings.ini";
    if (!isDirectory(job->mediaDir)) {
        *why = "the media directory " + job->mediaDir + " is not a directory";
        return false;
    }
    if (access(job->settingsFile.c_str(), R_OK) != 0) {
        *why = "cannot read the cut job's settings " + job->settingsFile + ": " + strerror(errno);
        return false;
    }
    if (!makeDestination(job->destDir, why) || !refuseLinksIn(resultsDir, why) ||
        !holdResultsDirectory(resultsDir, why)) {
        return false;
    }
    pointThePlatform(*job);
    return true;
}

bool checkLogLevelVariable(std::string* why) {
    const char* text = getenv("FCL_LOG_LEVEL");
    int level = 0;
    if (text != nullptr && *text != '\0' && !parseLogLevel(text, &level)) {
        *why = std::string("FCL_LOG_LEVEL must be a number from -1 to 100: \"") + text + "\"";
        return false;
    }
    return true;
}

bool openJobLog(PreparedJob* job, const HostOptions& options, std::string* why) {
    job->logFile = wzplatform::logDirectory() + "/fclrestore.log";
    int level = options.logLevel;
    std::string setting;
    const char* variable = getenv("FCL_LOG_LEVEL");
    if (options.logLevelGiven) {
        level = options.logLevel;
    } else if (variable != nullptr && *variable != '\0') {
        parseLogLevel(variable, &level);
    } else if (WZPlatformInfo().getString("FclRestore", "nLogLevel", &setting) && !parseLogLevel(setting, &level)) {
        *why = "the settings' [FclRestore] nLogLevel must be a number from -1 to 100: \"" + setting + "\"";
        return false;
    }
    auto writer = boost::make_shared<wzlog::FileLogWriter>(job->logFile, level);
    if (!writer->isOpen()) {
        *why = "cannot open the log " + job->logFile + ": " + strerror(errno);
        return false;
    }
    g_ptrLogWriter = boost::make_shared<ErrnoKeepingLog>(writer, level);
    setStepWriter(writer);
    return true;
}

}  // namespace fclhost
