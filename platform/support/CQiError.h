#pragma once
// Error values of the support and platform operations, and the code location attached to them.
#include <string>

#include <boost/shared_ptr.hpp>

struct FXCodeLocation {
    FXCodeLocation(const char* f, const char* fn, int l) : file(f), function(fn), line(l) {}
    const char* file;
    const char* function;
    int line;
};

#define FX_HERE FXCodeLocation(__FILE__, __PRETTY_FUNCTION__, __LINE__)

// Output formats of AsString: 0 the message alone (for a system error with the system's text, never its number), 1 the
// message with its code, 2 the detailed form with every pushed location.
enum EErrorOutputFormat { eErrorOutputPlain = 0, eErrorOutputCode = 1, eErrorOutputDetailed = 2 };

struct FXErrorPrivate;  // the library's detail record (platform/support)

class CQiError {
public:
    CQiError() : code(0) {}
    CQiError(int c, const boost::shared_ptr<FXErrorPrivate>& d) : code(c), details(d) {}
    CQiError(const CQiError& other) = default;
    CQiError& operator=(const CQiError& other) = default;
    ~CQiError();

    static CQiError Success() { return CQiError(); }
    bool IsError() const { return code < 0; }

    std::string AsString() const;
    std::string AsString(EErrorOutputFormat format) const;
    CQiError& Push(const FXCodeLocation& where);
    CQiError& Push(const FXCodeLocation& where, const char* format, ...) __attribute__((format(printf, 3, 4)));

    int code;
    boost::shared_ptr<FXErrorPrivate> details;
};
