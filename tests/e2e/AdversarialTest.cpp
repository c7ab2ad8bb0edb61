// The adversarial corpus: hostile streams built item by item, and destinations prepared by someone hostile, each
// restored by the host (or in place by the FIR driver) as root and, in a child process, as an ordinary user. Every
// row holds the same ground: nothing outside the destination changes (content, mode, owner, times, link count), the
// hostile item is reported failed or the job fails and says why, and what was restored before it stays.
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <sstream>

#include "platform/index/IndexMetaDataHelper.h"
#include "protocol/CXFileHeader.h"
#include "protocol/FSRPreHeader.h"
#include "protocol/PipelineBuffer.h"
#include "tests/common/ArchiveBuilder.h"
#include "tests/e2e/AdversarialSupport.h"
#include "tests/e2e/EndToEnd.h"

namespace e2e {
namespace {

using fcltest::ArchiveBuilder;
using fcltest::ItemHeader;

const char kBefore[] = "restored before the hostile item\n";
const char kAfter[] = "restored after the hostile item\n";
const char kVictim[] = "the item's own content\n";
const char kHostile[] = "written by a hostile stream\n";

enum class Runner {
    Host,     // fcl-restore MEDIA DEST
    InPlace,  // the FIR driver's default job without FSR_OPT_OUT_OF_PLACE: every item to its own path
};

enum class Outcome {
    GoesOn,     // the hostile item fails alone: exit status 1, the item after it restored
    Fails,      // the job fails and says why: exit status 2
    Reported,   // the job does not claim success: exit status 1 with failed items, or 2 with a reason
    Restored,   // the hostile destination is put right: the item "victim" restored whole, exit status 0
    Tolerated,  // the lie does no harm: "victim" restored whole (exit status 0), or failed alone (exit status 1)
    Contained,  // whatever the job reports, nothing outside changes and the job ends
};

std::vector<std::string> namesIn(const std::string& directory) {
    const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::vector<std::string> names = fcltest::entryNames(fd);
    close(fd);
    return names;
}

class Corpus;
using Step = std::function<void(Corpus&)>;
using Stream = std::function<void(Corpus&, ArchiveBuilder&)>;

struct Row {
    Row(std::string rowName, Outcome expected, Stream hostile = nullptr)
        : name(std::move(rowName)), outcome(expected), stream(std::move(hostile)) {}

    std::string name;
    Outcome outcome;
    // The hostile part of the stream, between the item restored before and the one after it. A stream that finishes
    // the archive (to cut or damage it) has no item after it.
    Stream stream;
    std::string item;  // a piece of the hostile item's name: its result line must say failed, none restored
    std::string victim = "victim";  // the sound item a Restored or Tolerated row restores
    std::string reason;             // what the failure reason must mention
    Step plant;                     // prepares the destination before the job
    Step race;                      // run over and over during the job
    Step verify;                    // further checks after the job
    Runner runner = Runner::Host;
    bool overwrite = false;
    bool linksMayChange = false;

    template <class Field>
    Row with(Field Row::*field, Field value) const {
        Row row = *this;
        row.*field = std::move(value);
        return row;
    }
    Row about(std::string piece) const { return with(&Row::item, std::move(piece)); }
    Row victimAt(std::string under) const { return with(&Row::victim, std::move(under)); }
    Row because(std::string text) const { return with(&Row::reason, std::move(text)); }
    Row planting(Step step) const { return with(&Row::plant, std::move(step)); }
    Row racing(Step step) const { return with(&Row::race, std::move(step)); }
    Row checking(Step step) const { return with(&Row::verify, std::move(step)); }
    Row inPlace() const {
        Row row = *this;
        row.runner = Runner::InPlace;
        row.name += "InPlace";
        return row;
    }
    Row overwriting(bool linksChange = false) const {
        Row row = *this;
        row.overwrite = true;
        row.linksMayChange = linksChange;
        return row;
    }
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

// How a run ended, from the host's summary or the in-place job's report.
struct RunEnd {
    int status = -1;  // the host's exit status, or its equivalent for an in-place job
    std::string reason;
    uint64_t failed = 0;
    std::string errors;  // what the host wrote on standard error
    std::string text;    // everything the run printed, for failure messages
};

class Corpus : public EndToEnd, public ::testing::WithParamInterface<std::tuple<Row, Identity>> {
public:
    using EndToEnd::media;
    const Row& row() const { return std::get<0>(GetParam()); }
    Identity who() const { return std::get<1>(GetParam()); }

    // The packed root and a name under it, as the stream carries them.
    std::string root() const { return source(); }
    std::string name(const std::string& under) const { return root() + "/" + under; }
    // A directory and a file outside the destination, where a hostile stream would like to write.
    std::string outside(const std::string& under = "") const {
        return under.empty() ? beside("outside") : beside("outside") + "/" + under;
    }
    // Where the job puts the item `under` the root.
    std::string placeOf(const std::string& under) const {
        return (row().runner == Runner::InPlace ? "" : dest_) + name(under);
    }
    // Enough ".." to climb from anywhere to "/", then `path` (absolute) as a relative path: a name that leaves.
    static std::string climbTo(const std::string& path) {
        std::string text;
        for (int i = 0; i < 64; ++i) {
            text += "../";
        }
        return text + path.substr(1);
    }
    void setDest(const std::string& dest) { dest_ = dest; }
    const std::string& destination() const { return dest_; }

protected:
    void SetUp() override { dest_ = dest(); }
    void writeStream();
    void makeOutside();
    RunEnd run();
    void checkOutcome(const RunEnd& end);
    void checkResultsAreTrue(const RunEnd& end);

private:
    std::string dest_;
};

void Corpus::makeOutside() {
    ASSERT_EQ(mkdir(outside().c_str(), 0755), 0);
    ASSERT_EQ(mkdir(outside("inner").c_str(), 0750), 0);
    for (const std::string& file : {outside("sentinel"), outside("inner/sentinel")}) {
        fcltest::writeFile(file, "precious, outside the destination\n");
        ASSERT_EQ(chmod(file.c_str(), 0640), 0);
        const timespec past[2] = {{UTIME_OMIT, 0}, {981158400, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), past, 0), 0);
    }
    ASSERT_EQ(::symlink("sentinel", outside("link").c_str()), 0);
}

void Corpus::writeStream() {
    ArchiveBuilder stream(media());
    stream.setOwner(uidOf(who()), gidOf(who()));
    stream.directory(root());
    stream.file(name("before"), kBefore);
    if (row().stream) {
        row().stream(*this, stream);
    }
    if (!stream.finished()) {
        stream.file(name("z-after"), kAfter);
        stream.finish();
    }
}

RunEnd Corpus::run() {
    RunEnd end;
    if (row().runner == Runner::InPlace) {
        const std::string text = runAs(who(), [this] {
            const InPlaceRun inPlace = restoreInPlace();
            std::ostringstream out;
            out << inPlace.succeeded << " " << inPlace.failed << "\n" << inPlace.reason;
            return out.str();
        });
        std::istringstream in(text);
        bool succeeded = false;
        in >> succeeded >> end.failed;
        std::getline(in >> std::ws, end.reason);
        end.status = !succeeded ? 2 : end.failed != 0 ? 1 : 0;
        if (succeeded) {
            end.reason.clear();
        }
        end.text = text;
        return end;
    }
    std::vector<std::string> argv{fcltest::toolPath("fcl-restore"), "--results", results()};
    if (row().overwrite) {
        argv.push_back("--overwrite");
    }
    argv.push_back(media());
    argv.push_back(dest_);
    fcltest::ProgramRun ran;
    {
        // A race is given a few whole jobs to win: each overwrites what the one before restored.
        std::unique_ptr<Racer> racer;
        if (row().race) {
            racer.reset(new Racer([this] { row().race(*this); }, std::chrono::seconds(60)));
        }
        for (int job = 0; job < (row().race ? 3 : 1); ++job) {
            ran = fcltest::runProgram(commandAs(who(), argv), 120);
        }
    }
    end.status = ran.status;
    end.text = ran.describe();
    const std::string failed = fcltest::summaryField(ran.out, "items failed:");
    end.failed = failed.empty() ? 0 : std::stoull(failed);
    const std::string prefix = "Restore failed: ";
    if (ran.out.compare(0, prefix.size(), prefix) == 0) {
        end.reason = ran.out.substr(prefix.size(), ran.out.find('\n') - prefix.size());
    }
    end.errors = ran.err;
    return end;
}

void Corpus::checkOutcome(const RunEnd& end) {
    const Row& r = row();
    switch (r.outcome) {
        case Outcome::GoesOn:
            EXPECT_EQ(end.status, 1) << end.text;
            EXPECT_GE(end.failed, 1u) << end.text;
            EXPECT_EQ(readAnyPath(placeOf("z-after")), kAfter) << "the job did not go on\n" << end.text;
            break;
        case Outcome::Fails:
            EXPECT_EQ(end.status, 2) << end.text;
            EXPECT_NE(end.reason, "") << end.text;
            break;
        case Outcome::Reported:
            EXPECT_TRUE((end.status == 1 && end.failed != 0) || (end.status == 2 && !end.reason.empty())) << end.text;
            break;
        case Outcome::Restored:
            EXPECT_EQ(end.status, 0) << end.text;
            EXPECT_EQ(readAnyPath(placeOf(r.victim)), kVictim) << end.text;
            break;
        case Outcome::Tolerated:
            if (end.status == 0) {
                EXPECT_EQ(readAnyPath(placeOf(r.victim)), kVictim) << end.text;
            } else {
                EXPECT_EQ(end.status, 1) << end.text;
                EXPECT_GE(end.failed, 1u) << end.text;
            }
            EXPECT_EQ(readAnyPath(placeOf("z-after")), kAfter) << "the job did not go on\n" << end.text;
            break;
        case Outcome::Contained:
            EXPECT_TRUE(end.status == 0 || end.status == 1 || end.status == 2) << end.text;
            break;
    }
    if (!r.reason.empty()) {
        EXPECT_NE(end.reason.find(r.reason), std::string::npos) << "the reason does not mention " << r.reason << "\n"
                                                                << end.text;
        if (r.runner == Runner::Host) {
            EXPECT_NE(end.errors.find(end.reason), std::string::npos) << "the reason is not on standard error\n"
                                                                      << end.text;
        }
    }
}

// Each item the results file calls restored holds what the stream gave it; the hostile item is called failed.
void Corpus::checkResultsAreTrue(const RunEnd& end) {
    const std::string file = findResults(results());
    if (file.empty()) {
        EXPECT_NE(row().outcome, Outcome::GoesOn) << "no results file\n" << end.text;
        return;
    }
    const std::map<std::string, std::string> sound = {
        {placeOf("before"), kBefore}, {placeOf("z-after"), kAfter}, {placeOf(row().victim), kVictim}};
    bool hostileFailed = false;
    for (const ResultLine& line : readResults(file)) {
        auto it = sound.find(line.path());
        if (line.restored() && it != sound.end()) {
            EXPECT_EQ(readAnyPath(it->first), it->second) << "reported restored: " << line.text;
        }
        if (!row().item.empty() && line.text.find(row().item) != std::string::npos) {
            EXPECT_FALSE(line.restored()) << "the hostile item is reported restored: " << line.text;
            hostileFailed = hostileFailed || line.failed();
        }
    }
    if (!row().item.empty() && row().outcome == Outcome::GoesOn) {
        EXPECT_TRUE(hostileFailed) << "no failed result for " << row().item << " in " << file << "\n"
                                   << fcltest::readFile(file);
    }
}

TEST_P(Corpus, NothingOutsideChangesAndNothingIsLostUnreported) {
    const std::string why = cannotRunAs(who());
    if (!why.empty()) {
        GTEST_SKIP() << why;
    }
    const PendingMend* pending = pendingMend(row().name);
    if (pending != nullptr && !pending->groundHolds) {
        GTEST_SKIP() << "pending: " << pending->mend;
    }
    makeOutside();
    writeStream();
    if (HasFatalFailure() || IsSkipped()) {
        return;
    }
    ASSERT_TRUE(makeDirectories(dest()));
    ASSERT_EQ(mkdir(results().c_str(), 0755), 0);
    if (row().plant) {
        row().plant(*this);
    }
    if (who() == Identity::User) {
        giveTree(beside(""), who());
    }
    const Untouchable untouchable(outside());
    const std::vector<std::string> besideBefore = namesIn(beside(""));

    const RunEnd end = run();

    EXPECT_EQ(untouchable.changes(row().linksMayChange), "") << end.text;
    EXPECT_EQ(readAnyPath(placeOf("before")), kBefore) << "an item restored before is lost\n" << end.text;
    EXPECT_EQ(namesIn(beside("")), besideBefore) << "an entry beside the destination appeared or vanished";
    if (pending != nullptr) {
        GTEST_SKIP() << "the ground holds; the rest is pending: " << pending->mend;
    }
    checkOutcome(end);
    // A race changes the destination after the job's last word: only what lies outside it is compared.
    if (!row().race) {
        checkResultsAreTrue(end);
    }
    if (row().verify) {
        row().verify(*this);
    }
}

// ---- the rows ----

// A file item named `under` the root with hostile content.
Stream hostileFile(std::function<std::string(const Corpus&)> under) {
    return [under](Corpus& c, ArchiveBuilder& s) { s.file(c.name(under(c)), kHostile); };
}

// A name of `length` bytes under the root whose last byte is 'X': cut to one byte less, it names the item "victim".
std::string cutToVictim(const Corpus& c, size_t length) {
    const std::string ending = "victimX";
    return std::string(length - c.root().size() - 1 - ending.size(), '/') + ending;
}

void makeParent(const std::string& path) {
    ASSERT_TRUE(makeDirectories(path.substr(0, path.rfind('/')))) << path;
}

// The item `under` the root does not look complete: absent, or not of its header's size and time, and never larger.
Step notComplete(std::string under, uint64_t size) {
    return [under, size](Corpus& c) {
        struct stat st;
        if (lstat(c.placeOf(under).c_str(), &st) == 0) {
            EXPECT_FALSE(static_cast<uint64_t>(st.st_size) == size &&
                         static_cast<uint64_t>(st.st_mtime) == ItemHeader::kTime)
                << under << " looks restored whole";
            EXPECT_LE(static_cast<uint64_t>(st.st_size), size) << under << " grew past its header's size";
            EXPECT_LE(static_cast<uint64_t>(st.st_blocks) * 512, 16 * kMiB) << under << " holds what no header gave";
        }
    };
}

// The offset of the data buffer of the item just written: the one before its end of file.
uint64_t lastData(ArchiveBuilder& s) {
    return s.buffers().at(s.buffers().size() - 2);
}

// A file item whose one data buffer is then damaged at `at` bytes into that buffer with `mask`.
Stream damagedData(size_t at, unsigned char mask) {
    return [at, mask](Corpus& c, ArchiveBuilder& s) {
        s.file(c.name("damaged"), kHostile);
        const uint64_t data = lastData(s);
        s.file(c.name("z-after"), kAfter);
        s.flip(data + at, mask);
    };
}

// A second archive file whose index names an item it does not deliver, made by `spoil` from a sound one.
Stream secondArchive(std::function<void(const std::string& path)> spoil) {
    return [spoil](Corpus& c, ArchiveBuilder&) {
        ArchiveBuilder second(c.media(), 2);
        second.setOwner(uidOf(c.who()), gidOf(c.who()));
        second.file(c.name("in-second"), kHostile);
        second.finish();
        spoil(second.path());
    };
}

// An optional header: its prefix giving `declared` bytes after it, then one entry of tag 3 declaring `entry` bytes.
std::string optionalHeader(uint32_t declared, uint32_t entry, const std::string& value) {
    std::string bytes(16, '\0');
    auto put32 = [&bytes](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            bytes[at + static_cast<size_t>(i)] = static_cast<char>(v >> (24 - 8 * i));
        }
    };
    put32(0, 1);
    put32(4, declared);
    bytes += std::string(8, '\0');
    put32(16, 3);
    put32(20, entry);
    return bytes + value;
}

std::vector<Row> rows() {
    std::vector<Row> table;
    auto add = [&table](Row row) { table.push_back(std::move(row)); };

    // The builder's sound items, restored whole: what every other row changes one thing of.
    add(Row{"SoundItemsOfEveryKind", Outcome::Restored,
            [](Corpus& c, ArchiveBuilder& s) {
                s.directory(c.name("d"), 0750);
                s.file(c.name("d/victim"), kVictim, 0600);
                s.symlink(c.name("link"), "d/victim");
            }}
            .victimAt("d/victim")
            .checking([](Corpus& c) {
                EXPECT_EQ(fcltest::readFile(c.placeOf("link")), kVictim);
                struct stat victim;
                ASSERT_EQ(lstat(c.placeOf("d/victim").c_str(), &victim), 0);
                EXPECT_EQ(victim.st_mode & 07777, 0600u);
                EXPECT_EQ(victim.st_mtime, static_cast<time_t>(ItemHeader::kTime));
                EXPECT_EQ(victim.st_uid, uidOf(c.who()));
            }));
    // A further name of a hard-link group is restored as a link to the first, or reported.
    add(Row{
        "HardLinkGroup", Outcome::Tolerated, [](Corpus& c, ArchiveBuilder& s) {
            s.hardLinks({c.name("first"), c.name("victim")}, kVictim);
        }}.checking([](Corpus& c) {
        struct stat first;
        struct stat second;
        if (lstat(c.placeOf("victim").c_str(), &second) == 0) {
            ASSERT_EQ(lstat(c.placeOf("first").c_str(), &first), 0);
            EXPECT_EQ(first.st_ino, second.st_ino) << "the names of the group are two files";
        }
    }));

    // Names that leave the destination, or are no names.
    const Row dotDot = Row{
        "DotDotName", Outcome::GoesOn, hostileFile([](const Corpus& c) {
            return Corpus::climbTo(c.outside("sentinel"));
        })}.about("outside/sentinel");
    add(dotDot);
    add(dotDot.inPlace());
    // Out of place, an item outside the packed root is a root of the backup of its own and keeps its whole name under
    // the destination: it stays inside, so the job may restore it. In place, where only the packed root is a source
    // path, it would be written where it names, and fails.
    const Stream outsideRoot = [](Corpus& c, ArchiveBuilder& s) { s.file(c.outside("sentinel"), kHostile); };
    add(Row{"AbsoluteNameOutsideTheBackupRoot", Outcome::Contained, outsideRoot}.checking(
        [](Corpus& c) { EXPECT_EQ(readAnyPath(c.destination() + c.outside("sentinel")), kHostile); }));
    add(Row{"AbsoluteNameOutsideTheBackupRoot", Outcome::GoesOn, outsideRoot}.about("outside/sentinel").inPlace());
    // An empty path cannot stand in an index either: the item is in the stream alone.
    add(Row{"EmptyName", Outcome::GoesOn, [](Corpus&, ArchiveBuilder& s) {
                s.headerOnly(ItemHeader::file("", sizeof kHostile - 1)).data(kHostile).end();
            }});
    add(Row{
        "NameOf1024Bytes", Outcome::GoesOn, hostileFile([](const Corpus& c) {
            // The whole path is 1,024 bytes: its last component is far beyond what a name may be.
            return std::string(1024 - c.root().size() - 1, 'n');
        })}.about("nnnnnnnnnnnnnnnn"));
    add(Row{
        "NameWithoutNul", Outcome::GoesOn, hostileFile([](const Corpus& c) {
            return cutToVictim(c, 1028);
        })}.checking([](Corpus& c) { EXPECT_FALSE(existsAnyPath(c.placeOf("victim"))) << "the name was cut"; }));
    // The destination alone takes most of PATH_MAX, so the items under the deep directories lie beyond it.
    const Step deepDestination = [](Corpus& c) {
        std::string dest = c.destination();
        for (int level = 0; level < 18; ++level) {
            dest += "/" + std::string(200, static_cast<char>('k' + level));
        }
        ASSERT_TRUE(makeDirectories(dest));
        c.setDest(dest);
    };
    auto deepDirectories = [](Corpus& c, ArchiveBuilder& s) {
        std::string deep;
        for (int level = 0; level < 4; ++level) {
            deep += (level == 0 ? "" : "/") + std::string(200, static_cast<char>('a' + level));
            s.directory(c.name(deep));
        }
        return deep;
    };
    const std::string deep =
        std::string(200, 'a') + "/" + std::string(200, 'b') + "/" + std::string(200, 'c') + "/" + std::string(200, 'd');
    add(Row{
        "DeeperThanPathMax", Outcome::Restored,
        [deepDirectories](Corpus& c, ArchiveBuilder& s) { s.file(c.name(deepDirectories(c, s) + "/victim"), kVictim); }}
            .victimAt(deep + "/victim")
            .planting(deepDestination)
            .checking([deep](Corpus& c) { EXPECT_GT(c.placeOf(deep + "/victim").size(), size_t{PATH_MAX}); }));
    // The name does not fit a file header: it comes in index headers, the header holding a stand-in. Its refusal is
    // reported under the stand-in, the only name of the item that fits a result's header.
    add(Row{"DotDotDeeperThanPathMax", Outcome::GoesOn,
            [deepDirectories](Corpus& c, ArchiveBuilder& s) {
                const std::string deepest = deepDirectories(c, s);
                fcltest::ItemHeader item = fcltest::ItemHeader::file(c.name(deepest + "/.long"), sizeof kHostile - 1);
                item.flags2 = CXHDR_F2_LONG_PATH;
                s.header(item);
                wzindex::IndexMetadataRecord record;
                record.fields.push_back(
                    {wzindex::realPathField(), c.name(deepest + "/" + Corpus::climbTo(c.outside("sentinel")))});
                for (const std::vector<unsigned char>& payload : wzindex::encodeIndexHeaders(record, 4096)) {
                    s.buffer(PL_FS_INDEX_HDR, std::string(payload.begin(), payload.end()));
                }
                s.data(kHostile).end();
            }}
            .about(deep + "/.long")
            .planting(deepDestination));

    // Links in the stream, then items beneath them.
    add(Row{
        "LinkToRootThenFileBeneath", Outcome::GoesOn, [](Corpus& c, ArchiveBuilder& s) {
            s.symlink(c.name("root"), "/");
            s.file(c.name("root" + c.outside("sentinel")), kHostile);
        }}.about("outside/sentinel"));
    add(Row{
        "LinkClimbingOutThenFileBeneath", Outcome::GoesOn, [](Corpus& c, ArchiveBuilder& s) {
            s.symlink(c.name("up"), Corpus::climbTo("/"));
            s.file(c.name("up" + c.outside("sentinel")), kHostile);
        }}.about("outside/sentinel"));
    const Row linkOut = Row{
        "LinkToOutsideThenFileBeneath", Outcome::GoesOn, [](Corpus& c, ArchiveBuilder& s) {
            s.symlink(c.name("out"), c.outside());
            s.file(c.name("out/sentinel"), kHostile);
        }}.about("out/sentinel");
    add(linkOut);
    add(linkOut.inPlace());
    add(Row{
        "HardLinkInTheStreamLeaving", Outcome::GoesOn, [](Corpus& c, ArchiveBuilder& s) {
            s.hardLinks({c.name("first"), c.name(Corpus::climbTo(c.outside("planted")))}, kHostile);
        }}.about("outside/planted"));
    add(Row{
        "StubCopiedUnderEachCopyName", Outcome::Restored, [](Corpus& c, ArchiveBuilder& s) {
            s.stubGroup(c.name("victim"), {c.name("copy")}, kVictim);
        }}.checking([](Corpus& c) { EXPECT_EQ(readAnyPath(c.placeOf("copy")), kVictim); }));
    add(Row{
        "PlaceholderGroupNameLeaving", Outcome::GoesOn, [](Corpus& c, ArchiveBuilder& s) {
            s.placeholderGroup({c.name("first"), c.name(Corpus::climbTo(c.outside("planted")))}, kHostile);
        }}.about("outside/planted"));
    add(Row{
        "HardLinkGroupWhoseFirstNameLeaves", Outcome::GoesOn, [](Corpus& c, ArchiveBuilder& s) {
            s.hardLinks({c.name(Corpus::climbTo(c.outside("sentinel"))), c.name("second")}, kHostile);
        }}.about("outside/sentinel"));
    add(Row{
        "PreHeaderNameWithoutNul", Outcome::GoesOn, [](Corpus& c, ArchiveBuilder& s) {
            s.hardLinks({c.name("first"), c.name(cutToVictim(c, 1028))}, kHostile);
        }}.checking([](Corpus& c) { EXPECT_FALSE(existsAnyPath(c.placeOf("victim"))) << "the name was cut"; }));

    // What someone hostile left in the destination before the job, or does to it during the job.
    add(Row{"SymlinkPlantedAtAnItemsName", Outcome::Restored,
            [](Corpus& c, ArchiveBuilder& s) { s.file(c.name("victim"), kVictim); }}
            .overwriting()
            .planting([](Corpus& c) {
                makeParent(c.placeOf("victim"));
                ASSERT_EQ(::symlink(c.outside("sentinel").c_str(), c.placeOf("victim").c_str()), 0);
            }));
    add(Row{"HardLinkPlantedAtAnItemsName", Outcome::Restored,
            [](Corpus& c, ArchiveBuilder& s) { s.file(c.name("victim"), kVictim); }}
            .overwriting(true)
            .planting([](Corpus& c) {
                makeParent(c.placeOf("victim"));
                ASSERT_EQ(link(c.outside("sentinel").c_str(), c.placeOf("victim").c_str()), 0);
            }));
    add(Row{"SymlinkPlantedAtADirectorysName", Outcome::GoesOn,
            [](Corpus& c, ArchiveBuilder& s) {
                s.directory(c.name("d"));
                s.file(c.name("d/sentinel"), kHostile);
            }}
            .about("d/sentinel")
            .planting([](Corpus& c) {
                makeParent(c.placeOf("d"));
                ASSERT_EQ(::symlink(c.outside().c_str(), c.placeOf("d").c_str()), 0);
            }));
    // With --overwrite a link may take the place of a directory, but not of one that holds what the job restored.
    add(Row{
        "LinkInPlaceOfTheRestoredRoot", Outcome::GoesOn, [](Corpus& c, ArchiveBuilder& s) {
            s.symlink(c.root(), c.outside());
        }}.overwriting());
    const Stream manyInD = [](Corpus& c, ArchiveBuilder& s) {
        s.directory(c.name("d"));
        for (int i = 0; i < 1000; ++i) {
            s.file(c.name("d/sentinel" + std::to_string(i)), kHostile);
        }
    };
    add(Row{"DirectorySwappedForALinkDuringTheJob", Outcome::Contained, manyInD}
            .planting([](Corpus& c) {
                makeParent(c.placeOf("d"));
                ASSERT_EQ(::symlink(c.outside().c_str(), c.placeOf("swap").c_str()), 0);
            })
            .racing([](Corpus& c) {
                // Swapped and swapped back, so the directory is in place when the race ends.
                if (renameat2(AT_FDCWD, c.placeOf("d").c_str(), AT_FDCWD, c.placeOf("swap").c_str(), RENAME_EXCHANGE) ==
                    0) {
                    renameat2(AT_FDCWD, c.placeOf("d").c_str(), AT_FDCWD, c.placeOf("swap").c_str(), RENAME_EXCHANGE);
                }
            }));
    // Between two items of the same directory the directory is moved aside and its name becomes a link out, then
    // all is put back: a directory held open for the looks of the items there is never written through.
    add(Row{"ParentReplacedByALinkBetweenItsItems", Outcome::Contained, manyInD}
            .planting([](Corpus& c) { makeParent(c.placeOf("d")); })
            .racing([](Corpus& c) {
                const std::string d = c.placeOf("d");
                const std::string aside = c.placeOf("aside");
                if (rename(d.c_str(), aside.c_str()) != 0) {
                    return;
                }
                if (::symlink(c.outside().c_str(), d.c_str()) == 0) {
                    usleep(200);
                    unlink(d.c_str());
                }
                rename(aside.c_str(), d.c_str());
            }));
    // Between two items of the same directory the directory is removed and made again.
    add(Row{"ParentRemovedAndMadeAgainBetweenItsItems", Outcome::Contained, manyInD}
            .planting([](Corpus& c) { makeParent(c.placeOf("d")); })
            .racing([](Corpus& c) {
                const std::string d = c.placeOf("d");
                const std::string gone = c.placeOf("gone");
                fcltest::removeTree(gone);
                if (rename(d.c_str(), gone.c_str()) == 0) {
                    mkdir(d.c_str(), 0755);
                }
            }));
    // A few names, each restored many times over: the race flips each between a plain file and a hard link to the
    // sentinel far more often than the job takes from the check of an existing file to its open.
    constexpr int kRacedNames = 4;
    add(Row{"HardLinkPlantedAtAnItemsNameDuringTheJob", Outcome::Contained,
            [](Corpus& c, ArchiveBuilder& s) {
                for (int i = 0; i < 300; ++i) {
                    s.file(c.name("v" + std::to_string(i % kRacedNames)), kVictim);
                }
            }}
            .overwriting(true)
            .planting([](Corpus& c) {
                makeParent(c.placeOf("v0"));
                for (int i = 0; i < kRacedNames; ++i) {
                    fcltest::writeFile(c.placeOf("v" + std::to_string(i)), "an older copy\n");
                }
            })
            .racing([](Corpus& c) {
                static thread_local int next = 0;
                const std::string name = c.placeOf("v" + std::to_string(next++ % kRacedNames));
                const std::string planted = c.placeOf("planted");
                const std::string plain = c.placeOf("plain");
                if (link(c.outside("sentinel").c_str(), planted.c_str()) == 0) {
                    rename(planted.c_str(), name.c_str());
                }
                const int fd = open(plain.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
                if (fd >= 0 && write(fd, "an older copy\n", 14) == 14) {
                    rename(plain.c_str(), name.c_str());
                }
                if (fd >= 0) {
                    close(fd);
                }
            }));

    // Lengths that lie, record by record.
    add(Row{"DataPastTheSize", Outcome::GoesOn,
            [](Corpus& c, ArchiveBuilder& s) {
                s.header(ItemHeader::file(c.name("past-size"), 10));
                s.data(std::string(20, 'p')).end();
            }}
            .about("past-size")
            .checking(notComplete("past-size", 10)));
    add(Row{"DataShortOfTheSize", Outcome::GoesOn,
            [](Corpus& c, ArchiveBuilder& s) {
                s.header(ItemHeader::file(c.name("short-of-size"), kMiB));
                s.data(std::string(10, 's')).end();
            }}
            .about("short-of-size")
            .checking(notComplete("short-of-size", kMiB)));
    add(Row{"HolesPastTheSize", Outcome::GoesOn,
            [](Corpus& c, ArchiveBuilder& s) {
                s.header(ItemHeader::file(c.name("holes-past-size"), 10));
                s.data(std::string(10, 'h'));
                for (int i = 0; i < 12; ++i) {
                    s.hole(1u << 30);
                }
                s.end();
            }}
            .about("holes-past-size")
            .checking(notComplete("holes-past-size", 10)));
    // Whatever platform a header names (a Windows client's, a Novell client's, one unknown here), what is written for
    // its item stays within its size.
    for (int32_t platform : {2, 12, 77}) {
        const std::string from = "OfPlatform" + std::to_string(platform);
        add(Row{"DataPastTheSize" + from, Outcome::GoesOn,
                [platform](Corpus& c, ArchiveBuilder& s) {
                    ItemHeader header = ItemHeader::file(c.name("past-size"), 10);
                    header.platform = platform;
                    s.header(header);
                    s.data(std::string(20, 'p')).end();
                }}
                .about("past-size")
                .checking(notComplete("past-size", 10)));
        add(Row{"HolesPastTheSize" + from, Outcome::GoesOn,
                [platform](Corpus& c, ArchiveBuilder& s) {
                    ItemHeader header = ItemHeader::file(c.name("holes-past-size"), 10);
                    header.platform = platform;
                    s.header(header);
                    s.data(std::string(10, 'h'));
                    for (int i = 0; i < 3; ++i) {
                        s.hole(0xfffff000u);
                    }
                    s.end();
                }}
                .about("holes-past-size")
                .checking(notComplete("holes-past-size", 10)));
    }
    add(Row{
        "SymlinkTargetPastTheSize", Outcome::GoesOn, [](Corpus& c, ArchiveBuilder& s) {
            s.header(ItemHeader::symlink(c.name("link-past-size"), 2));
            s.data(Corpus::climbTo(c.outside("sentinel"))).end();
        }}.about("link-past-size"));
    // The name field ends at its NUL, whatever the length beside it says.
    for (uint32_t length : {0u, 3u, 5000u}) {
        add(Row{"NameLength" + std::to_string(length), Outcome::Tolerated, [length](Corpus& c, ArchiveBuilder& s) {
                    ItemHeader header = ItemHeader::file(c.name("victim"), sizeof kVictim - 1);
                    header.nameLength = length;
                    s.header(header);
                    s.data(kVictim).end();
                }});
    }
    add(Row{
        "PayloadTooShortForItsType", Outcome::Fails, [](Corpus&, ArchiveBuilder& s) {
            s.buffer(PL_FS_HDR, std::string(100, 'h'));
        }}.because("offset"));
    add(Row{"PayloadPastTheEndOfTheFile", Outcome::Fails,
            [](Corpus& c, ArchiveBuilder& s) {
                s.header(ItemHeader::file(c.name("past-end"), 4096));
                s.lyingBuffer(PL_DATA, "abc", 4096);
                s.finish();
            }}
            .about("past-end")
            .because("offset"));
    add(Row{"PayloadLongerThanItsLength", Outcome::Fails,
            [](Corpus& c, ArchiveBuilder& s) {
                s.header(ItemHeader::file(c.name("longer"), 100));
                s.lyingBuffer(PL_DATA, std::string(100, 'l'), 10);
                s.end();
            }}
            .about("longer")
            .because("offset"));
    add(Row{"HoleRecordTooShort", Outcome::Fails,
            [](Corpus& c, ArchiveBuilder& s) {
                s.header(ItemHeader::file(c.name("short-hole"), 4096));
                s.buffer(PL_HOLE, std::string("\x00\x10", 2)).end();
            }}
            .about("short-hole")
            .because("offset"));
    add(Row{"CompressedLengthBeyondThePayload", Outcome::Tolerated, [](Corpus& c, ArchiveBuilder& s) {
                s.header(ItemHeader::file(c.name("victim"), sizeof kVictim - 1));
                s.compressedAs(PL_DATA, kVictim, 0xffffffffu).end();
            }});
    add(Row{"OptionalHeaderLengthsLie", Outcome::Tolerated, [](Corpus& c, ArchiveBuilder& s) {
                s.header(ItemHeader::file(c.name("victim"), sizeof kVictim - 1));
                s.buffer(PL_FS_OPT_HDR, optionalHeader(4000, 5000, std::string("user.x\0v", 8)));
                s.data(kVictim).end();
            }});

    // Archive files cut short or damaged.
    add(Row{"CutInsideABuffer", Outcome::Fails,
            [](Corpus& c, ArchiveBuilder& s) {
                s.file(c.name("cut"), std::string(8192, 'c'));
                s.truncateAt(lastData(s) + 96 + 100);
            }}
            .about("cut")
            .because("offset"));
    add(Row{"CutAtABufferBoundary", Outcome::Reported, [](Corpus& c, ArchiveBuilder& s) {
                s.file(c.name("sound"), kVictim);
                const uint64_t cut = s.offset();
                s.file(c.name("z-after"), kAfter);
                s.truncateAt(cut);
            }});
    add(Row{"LastItemWithoutItsEnd", Outcome::Fails,
            [](Corpus& c, ArchiveBuilder& s) {
                s.header(ItemHeader::file(c.name("no-end"), 5));
                s.data("12345");
                s.finish();
            }}
            .about("no-end")
            .checking(notComplete("no-end", 5)));
    add(Row{"FlippedPayloadByte", Outcome::Fails, damagedData(96 + 3, 0x01)}.about("damaged").because("offset"));
    add(Row{"FlippedBufferType", Outcome::Fails, damagedData(7, 0x80)}.about("damaged").because("offset"));
    add(Row{"FlippedPayloadLength", Outcome::Fails, damagedData(0x24, 0x01)}.about("damaged").because("offset"));
    add(Row{"FlippedBufferOffset", Outcome::Fails, damagedData(0x17, 0x01)}.about("damaged").because("offset"));
    add(Row{"FlippedMagic", Outcome::Fails, damagedData(0, 0x01)}.about("damaged").because("offset"));
    add(Row{"EmptyArchiveFile", Outcome::Reported,
            secondArchive([](const std::string& path) { ASSERT_EQ(truncate(path.c_str(), 0), 0); })});
    add(Row{"DirectoryAsArchiveFile", Outcome::Reported, secondArchive([](const std::string& path) {
                ASSERT_EQ(unlink(path.c_str()), 0);
                ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
            })});

    // Buffers where the stream has none of their kind.
    add(Row{
        "CloseArchiveInsideTheStream", Outcome::Fails, [](Corpus& c, ArchiveBuilder& s) {
            s.buffer(PL_FS_CLOSE_AFILE, "");
            s.file(c.name("after-close"), kHostile);
        }}.about("after-close"));
    // Buffers outside any item carry no item: nothing is lost, and the items around them are restored.
    add(Row{"StrayBuffersBetweenItems", Outcome::Tolerated, [](Corpus& c, ArchiveBuilder& s) {
                s.data("stray data").hole(4096).end();
                s.file(c.name("victim"), kVictim);
            }});
    add(Row{"ForeignBuffersInsideAnItem", Outcome::Tolerated, [](Corpus& c, ArchiveBuilder& s) {
                s.header(ItemHeader::file(c.name("victim"), sizeof kVictim - 1));
                s.buffer(PL_FS_PROBE_REPLY, std::string(16, '\0'));
                s.buffer(PL_AFILE_OPENED, "");
                s.buffer(PL_RESTORE_HEAD_NAME, "head");
                s.data(kVictim).end();
            }});
    return table;
}

std::string rowName(const ::testing::TestParamInfo<std::tuple<Row, Identity>>& info) {
    return std::get<0>(info.param).name + "_" + identityName(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(Rows, Corpus,
                         ::testing::Combine(::testing::ValuesIn(rows()),
                                            ::testing::Values(Identity::Root, Identity::User)),
                         rowName);

}  // namespace
}  // namespace e2e
