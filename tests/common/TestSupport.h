#pragma once
// Helpers shared by the test binaries.
#include <string>
#include <vector>

namespace fcltest {

// A fresh directory under $TMPDIR (or /tmp), removed with everything in it when the object goes.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& tag = "fcl");
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The names in a directory, "." and ".." left out, sorted.
std::vector<std::string> entryNames(int dirfd);
// The same for the directory at `path`; none when it cannot be opened.
std::vector<std::string> entryNames(const std::string& path);
// Removes a tree of any depth without following links; missing paths are fine.
void removeTree(const std::string& path);
// Writes `content` to `path`, creating or truncating it; aborts the test on failure.
void writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);
bool isRoot();
// Where the built tools are: $FCL_TOOLS_DIR, or beside the tests' folder of the build tree when run by hand.
std::string toolsDirectory();

// A parameterised case's name made from text such as a setting's value: letters and digits kept, a minus before a
// digit spelt "Minus", a leading "0x" spelt "Hex", any other run of characters one underscore between words, "Empty"
// when nothing is left.
// Cases are named from their own fields rather than printed, so that a test's name holds no address or byte dump and
// is the same in every build.
std::string nameFromText(const std::string& text);

}  // namespace fcltest
