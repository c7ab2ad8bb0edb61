#pragma once
// Task options of a job, kept in the settings file's section [TaskOptions]: a boolean under "<category>.<id>"
// (decimal, e.g. "7.27 = true"), a text under "<category>" alone (the string read names no option id).
#include <string>

// A task-option category: callers name it by number (wzTaskOptions(7)).
enum wzTaskOptions : int {};

class SchedularInterfaceNet {
public:
    SchedularInterfaceNet() { clearErrors(); }
    ~SchedularInterfaceNet() = default;

    void clearErrors() {
        m_errorCode = 0;
        m_errorText.clear();
    }

    // True with `value` filled when the option is set to a boolean; false leaves `value` as preset.
    bool GetTaskOptionBoolean(long long jobId, wzTaskOptions category, bool& value, int id);
    // True with the text, NUL-terminated, in at most `size` bytes of `buffer`. A text that does not fit is refused
    // whole rather than cut (a cut file name would name another file): false, like an absent option, and `buffer`
    // then holds "" so a caller that does not test the answer sees no option.
    bool GetTaskOptionString(long long jobId, wzTaskOptions category, char* buffer, unsigned long size);

    // 0 after a successful read; ENOENT, EINVAL or ERANGE with a text after a failed one.
    int getErrorCode() const { return m_errorCode; }
    const std::string& getErrorText() const { return m_errorText; }

private:
    bool fail(int code, const std::string& text);

    int m_errorCode;
    std::string m_errorText;
};
