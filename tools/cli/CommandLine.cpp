#include "tools/cli/CommandLine.h"

#include <ostream>
#include <sstream>

namespace fcltool {
namespace {

namespace po = boost::program_options;

// "A", "A and B", "A, B and C".
std::string operandList(const std::vector<std::pair<std::string, std::string*>>& operands) {
    std::string names;
    for (size_t i = 0; i < operands.size(); ++i) {
        names += (i == 0 ? "" : i + 1 == operands.size() ? " and " : ", ") + operands[i].first;
    }
    return names;
}

// "A is required", "A and B are both required", "A, B and C are all required".
std::string allRequired(const std::vector<std::pair<std::string, std::string*>>& operands) {
    return operandList(operands) + (operands.size() == 1   ? " is required"
                                    : operands.size() == 2 ? " are both required"
                                                           : " are all required");
}

}  // namespace

CommandLine::CommandLine(std::string tool, std::string synopsis, std::string about, std::string exitStatus)
    : tool_(std::move(tool)),
      synopsis_(std::move(synopsis)),
      about_(std::move(about)),
      exitStatus_(std::move(exitStatus)),
      visible_("Options") {
    visible_.add_options()("help,h", "show this help and exit")("version", "show the version and exit");
}

void CommandLine::operand(const std::string& name, std::string* value) {
    operands_.emplace_back(name, value);
}

std::string CommandLine::usage() const {
    std::ostringstream text;
    text << "Usage: " << tool_ << " " << synopsis_ << "\n" << about_ << "\n\n" << visible_ << "\n" << exitStatus_;
    return text.str();
}

bool CommandLine::given(const std::string& name) const {
    return values_.count(name) != 0 && !values_[name].defaulted();
}

Parsed CommandLine::parse(int argc, const char* const* argv, std::string* message) {
    po::options_description all;
    all.add(visible_);
    po::positional_options_description positional;
    for (size_t i = 0; i < operands_.size(); ++i) {
        const std::string name = "operand-" + std::to_string(i);
        all.add_options()(name.c_str(), po::value<std::string>(operands_[i].second));
        positional.add(name.c_str(), 1);
    }
    try {
        po::store(po::command_line_parser(argc, const_cast<char**>(argv)).options(all).positional(positional).run(),
                  values_);
        if (values_.count("help") != 0) {
            *message = usage();
            return Parsed::Help;
        }
        if (values_.count("version") != 0) {
            *message = versionLine(tool_);
            return Parsed::Version;
        }
        po::notify(values_);
    } catch (const po::too_many_positional_options_error&) {
        *message = "too many operands: give " + operandList(operands_) + " only";
        return Parsed::Error;
    } catch (const po::error& error) {
        *message = error.what();
        return Parsed::Error;
    }
    size_t missing = 0;
    for (size_t i = 0; i < operands_.size(); ++i) {
        if (values_.count("operand-" + std::to_string(i)) == 0) {
            ++missing;
        }
    }
    if (missing == operands_.size() && !operands_.empty()) {
        *message = allRequired(operands_);
        return Parsed::Error;
    }
    for (size_t i = 0; i < operands_.size(); ++i) {
        if (values_.count("operand-" + std::to_string(i)) == 0) {
            *message = operands_[i].first + " is required";
            return Parsed::Error;
        }
        if (operands_[i].second->empty()) {
            *message = operands_[i].first + " must not be empty";
            return Parsed::Error;
        }
    }
    return Parsed::Run;
}

std::string versionLine(const std::string& tool) {
    return tool + " " FCL_VERSION;
}

int finish(Parsed outcome, const std::string& tool, const std::string& message, std::ostream& out, std::ostream& err) {
    switch (outcome) {
        case Parsed::Help:
        case Parsed::Version:
            out << message << (message.empty() || message.back() == '\n' ? "" : "\n") << std::flush;
            return 0;
        case Parsed::Error:
        case Parsed::Run:
            break;
    }
    err << tool << ": " << message << "\nTry '" << tool << " --help' for more information.\n" << std::flush;
    return 2;
}

bool parseCount(const std::string& text, uint64_t most, uint64_t* value) {
    if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const uint64_t read = std::stoull(text);
    if (read > most) {
        return false;
    }
    *value = read;
    return true;
}

}  // namespace fcltool
