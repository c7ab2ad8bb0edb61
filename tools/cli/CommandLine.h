#pragma once
// The frame of the tools' command lines: options described once (with the names of their values, so that help
// reads "--strip N"), operands taken in order, --help and --version, and a usage error told in one line with a
// pointer to --help, as tar, rsync and restic do.
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include <boost/program_options.hpp>

namespace fcltool {

enum class Parsed {
    Run,      // the options are set
    Help,     // --help: `message` is the whole usage
    Version,  // --version: `message` is the version line
    Error,    // `message` says in one line what is wrong
};

class CommandLine {
public:
    // `synopsis`: "[options] MEDIA_DIR DEST_DIR"; `about`: what the tool does; `exitStatus`: the statuses it gives.
    CommandLine(std::string tool, std::string synopsis, std::string about, std::string exitStatus);

    // The options, shown in the help in the order added; --help and --version come first.
    boost::program_options::options_description_easy_init options() { return visible_.add_options(); }
    // An operand, in order: `name` is its name in the synopsis and in errors ("MEDIA_DIR").
    void operand(const std::string& name, std::string* value);

    // Reads the command line; with Error, `message` says what is wrong (an operand missing or empty included).
    Parsed parse(int argc, const char* const* argv, std::string* message);
    // Whether the user gave the option (not a default).
    bool given(const std::string& name) const;

    const std::string& tool() const { return tool_; }
    std::string usage() const;

private:
    std::string tool_;
    std::string synopsis_;
    std::string about_;
    std::string exitStatus_;
    boost::program_options::options_description visible_;
    std::vector<std::pair<std::string, std::string*>> operands_;
    boost::program_options::variables_map values_;
};

// The version line: "<tool> <version>".
std::string versionLine(const std::string& tool);

// What main returns for an outcome other than Run: the usage or the version on `out` (0), a usage error on `err` as
// "<tool>: <what>" and "Try '<tool> --help' for more information." (2).
int finish(Parsed outcome, const std::string& tool, const std::string& message, std::ostream& out, std::ostream& err);

// A count in decimal digits, at most `most`: the stream library would take "-1" as the largest number.
bool parseCount(const std::string& text, uint64_t most, uint64_t* value);

}  // namespace fcltool
