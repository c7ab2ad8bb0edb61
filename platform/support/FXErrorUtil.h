#pragma once
// Builds and inspects error values. Every error built here tests as an error through IsError, whatever
// the sign of the code it carries: the top bit of `code` is set and the real code is kept in the details.
#include <cstdarg>
#include <string>
#include <vector>

#include "platform/support/CQiError.h"

struct FXErrorPrivate {
    enum Kind { kEventMessage, kErrNo, kWin32 };
    Kind kind;
    int realCode;
    std::string message;
    // Pushed locations, innermost first: "function (file:line)" and an optional message.
    std::vector<std::pair<std::string, std::string>> trail;
};

class FXErrorUtil {
public:
    static CQiError ErrorEventMessage(const FXCodeLocation& where, int eventId);
    static CQiError ErrorEventMessage(const FXCodeLocation& where, int eventId, const char* format, ...)
        __attribute__((format(printf, 3, 4)));
    static CQiError ErrorErrNo(const FXCodeLocation& where, int errnum);
    static CQiError ErrorErrNo(const FXCodeLocation& where, int errnum, const char* format, ...)
        __attribute__((format(printf, 3, 4)));
    static CQiError ErrorWin32(const FXCodeLocation& where, int code);
    static CQiError ErrorWin32(const FXCodeLocation& where, int code, const char* format, ...)
        __attribute__((format(printf, 3, 4)));

    // The event message id an error carries (its real code for every kind), 0 for a success.
    static int GetEventMessage(const CQiError& error);
    // The real code the error was built with, 0 for a success.
    static int GetCode(const CQiError& error);
    // True when the error was built from errno `errnum`.
    static bool IsErrNo(const CQiError& error, int errnum);
    // The message given when the error was built ("" when none).
    static std::string GetMessage(const CQiError& error);
};

// Thrown where the platform's constructors cannot go on (the job object's storage-management context).
class WzException : public std::exception {
public:
    WzException(const char* className, const char* message, const char* file, int line, int code);
    const char* what() const noexcept override { return text_.c_str(); }
    const std::string& className() const { return className_; }
    const std::string& message() const { return message_; }
    int code() const { return code_; }

private:
    std::string className_;
    std::string message_;
    std::string text_;
    int code_;
};
