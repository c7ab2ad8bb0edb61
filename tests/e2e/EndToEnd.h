#pragma once
// One end-to-end case: a tree from a plan is built in a scratch directory, packed with fcl-pack, restored with
// fcl-restore into a destination beside it and compared with the oracles. The packed root keeps its absolute path,
// so the copy of SOURCE lies at DEST/SOURCE.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/common/TestSupport.h"
#include "tests/common/ToolRunner.h"
#include "tests/e2e/TreeCompare.h"
#include "tests/e2e/TreeLayout.h"
#include "tools/fir/ReservedOptions.h"

class FclRestore;

namespace e2e {

// What a restore run inside the test reports.
struct InPlaceRun {
    bool succeeded = false;  // the job ended well, as the host judges it
    std::string reason;      // why not
    uint64_t restored = 0;
    uint64_t failed = 0;
    uint64_t skipped = 0;
    // The process's user and group ids (real and effective), supplementary groups, file-creation mask and working
    // directory, as text, before the job and after its end.
    std::string identityBefore;
    std::string identityAfter;
};

// How an in-place job differs from the default one.
struct InPlaceChoice {
    std::string settings;              // appended to the default settings
    unsigned long droppedOptions = 0;  // taken out of the options word
    // Called on the started job before it reads the FIR's messages: for job state no message sets.
    std::function<void(FclRestore&)> prepareJob;
    fir::OptionPairs reservedOptions;  // the init data's reserved option string
    uint64_t appType = 29;             // the init data's application type
    bool intoDest = false;             // out of place into DEST instead, existing items not overwritten
};

class EndToEnd : public ::testing::Test {
protected:
    EndToEnd();

    // Builds the tree; the test is skipped when the plan needs root and the test is not root, or when the scratch
    // file system does not keep the plan's holes.
    void build(const TreeLayout& plan);
    // fcl-pack SOURCE MEDIA; the test fails unless it packs without a warning.
    void pack(const std::vector<std::string>& options = {});
    // fcl-restore --results RESULTS [options] MEDIA DEST.
    fcltest::ProgramRun restore(const std::vector<std::string>& options = {});
    // The host restores out of place only: here the FIR driver's default job, with the options word lacking
    // FSR_OPT_OUT_OF_PLACE, drives the engine in a child process, so that every item of MEDIA goes back to its own
    // path and the copy of SOURCE is SOURCE itself. Overwrites existing items. With `choice.intoDest` the same job
    // restores out of place into DEST instead, for jobs the host has no option for.
    InPlaceRun restoreInPlace(const InPlaceChoice& choice = InPlaceChoice());
    // The FIR driver's image-level job, out of place into DEST, in a child process as restoreInPlace; existing items
    // are not overwritten.
    InPlaceRun restoreImageLevel();
    // The FIR driver's default job, out of place into DEST, in a child process as restoreInPlace.
    InPlaceRun restoreInChild(const InPlaceChoice& choice);
    // The same job through an external FIR: `fcl-restore --listen SOCKET --results RESULTS MEDIA DEST` driven by
    // `fir [firOptions] SOCKET MEDIA DEST`. Answers the host's run; the fir command's goes to `fir` when given.
    fcltest::ProgramRun restoreThroughFir(const std::vector<std::string>& firOptions = {},
                                          fcltest::ProgramRun* fir = nullptr);
    // pack, then restore with `options`, expecting every item restored (exit 0, none failed or skipped).
    fcltest::ProgramRun packAndRestore(const std::vector<std::string>& options = {});

    // The two oracles between SOURCE and its copy; "" when the copy is exact.
    std::string differences(Holes holes = Holes::Kept) const;
    // The items of the source tree, its root included: what a whole restore reports.
    uint64_t sourceItems() const;

    std::string source(const std::string& name = "") const { return name.empty() ? source_ : source_ + "/" + name; }
    std::string restored(const std::string& name = "") const { return dest_ + source(name); }
    // A path beside the source, the media and the destination.
    std::string beside(const std::string& name) const { return top_ + "/" + name; }
    const std::string& media() const { return media_; }
    const std::string& dest() const { return dest_; }
    const std::string& results() const { return results_; }

private:
    fcltest::ScratchDir scratch_{"e2e"};
    std::string top_;
    std::string source_;
    std::string media_;
    std::string dest_;
    std::string results_;
};

}  // namespace e2e
