#include "platform/support/FXErrorUtil.h"

#include <cstdio>
#include <cstring>

#include "platform/support/TextFormat.h"

namespace {

std::string locationText(const FXCodeLocation& where) {
    const char* file = where.file ? where.file : "?";
    const char* slash = strrchr(file, '/');
    std::string text = where.function ? where.function : "?";
    text += " (";
    text += slash ? slash + 1 : file;
    text += ':';
    text += std::to_string(where.line);
    text += ')';
    return text;
}

CQiError make(FXErrorPrivate::Kind kind, const FXCodeLocation& where, int code, std::string message) {
    boost::shared_ptr<FXErrorPrivate> d(new FXErrorPrivate);
    d->kind = kind;
    d->realCode = code;
    if (message.empty() && kind == FXErrorPrivate::kErrNo) {
        message = strerror(code);
    }
    d->message = std::move(message);
    d->trail.emplace_back(locationText(where), std::string());
    // A positive code (12, 1627, an event id) must still test as an error.
    return CQiError(static_cast<int>(static_cast<unsigned>(code) | 0x80000000u), d);
}

const char* kindName(FXErrorPrivate::Kind kind) {
    switch (kind) {
        case FXErrorPrivate::kEventMessage:
            return "event";
        case FXErrorPrivate::kErrNo:
            return "errno";
        case FXErrorPrivate::kWin32:
            return "code";
    }
    return "code";
}

}  // namespace

CQiError::~CQiError() = default;

std::string CQiError::AsString() const {
    return AsString(eErrorOutputCode);
}

std::string CQiError::AsString(EErrorOutputFormat format) const {
    if (!IsError() && !details) {
        return "Success";
    }
    char head[64];
    if (details) {
        snprintf(head, sizeof head, "%s %d (0x%x)", kindName(details->kind), details->realCode,
                 static_cast<unsigned>(details->realCode));
    } else {
        snprintf(head, sizeof head, "code %d (0x%x)", code, static_cast<unsigned>(code));
    }
    std::string text;
    if (format == eErrorOutputPlain) {
        text = details && !details->message.empty() ? details->message : std::string(head);
        // A system error is told by the system's own text, not its number.
        if (details && details->kind == FXErrorPrivate::kErrNo) {
            const std::string system = strerror(details->realCode);
            if (details->message.empty()) {
                text = system;
            } else if (text.find(system) == std::string::npos) {
                text += ": " + system;
            }
        }
        return text;
    }
    text = head;
    if (details && !details->message.empty()) {
        text += ": ";
        text += details->message;
    }
    if (format == eErrorOutputDetailed && details) {
        for (const auto& step : details->trail) {
            text += " <- ";
            text += step.first;
            if (!step.second.empty()) {
                text += ": ";
                text += step.second;
            }
        }
    }
    return text;
}

CQiError& CQiError::Push(const FXCodeLocation& where) {
    if (!details) {
        details.reset(new FXErrorPrivate{FXErrorPrivate::kWin32, code, std::string(), {}});
    }
    details->trail.emplace_back(locationText(where), std::string());
    return *this;
}

CQiError& CQiError::Push(const FXCodeLocation& where, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string message = wztext::vformat(format, args);
    va_end(args);
    Push(where);
    details->trail.back().second = std::move(message);
    return *this;
}

#define FX_BUILD(kind, where, code, format)              \
    va_list args;                                        \
    va_start(args, format);                              \
    std::string message = wztext::vformat(format, args); \
    va_end(args);                                        \
    return make(kind, where, code, std::move(message))

CQiError FXErrorUtil::ErrorEventMessage(const FXCodeLocation& where, int eventId) {
    return make(FXErrorPrivate::kEventMessage, where, eventId, std::string());
}
CQiError FXErrorUtil::ErrorEventMessage(const FXCodeLocation& where, int eventId, const char* format, ...) {
    FX_BUILD(FXErrorPrivate::kEventMessage, where, eventId, format);
}
CQiError FXErrorUtil::ErrorErrNo(const FXCodeLocation& where, int errnum) {
    return make(FXErrorPrivate::kErrNo, where, errnum, std::string());
}
CQiError FXErrorUtil::ErrorErrNo(const FXCodeLocation& where, int errnum, const char* format, ...) {
    FX_BUILD(FXErrorPrivate::kErrNo, where, errnum, format);
}
CQiError FXErrorUtil::ErrorWin32(const FXCodeLocation& where, int code) {
    return make(FXErrorPrivate::kWin32, where, code, std::string());
}
CQiError FXErrorUtil::ErrorWin32(const FXCodeLocation& where, int code, const char* format, ...) {
    FX_BUILD(FXErrorPrivate::kWin32, where, code, format);
}
#undef FX_BUILD

int FXErrorUtil::GetEventMessage(const CQiError& error) {
    return GetCode(error);
}

int FXErrorUtil::GetCode(const CQiError& error) {
    if (error.details) {
        return error.details->realCode;
    }
    return error.code;
}

bool FXErrorUtil::IsErrNo(const CQiError& error, int errnum) {
    return error.IsError() && error.details && error.details->kind == FXErrorPrivate::kErrNo &&
           error.details->realCode == errnum;
}

std::string FXErrorUtil::GetMessage(const CQiError& error) {
    return error.details ? error.details->message : "";
}

WzException::WzException(const char* className, const char* message, const char* file, int line, int code)
    : className_(className ? className : ""), message_(message ? message : ""), code_(code) {
    text_ = className_ + ": " + message_ + " (" + (file ? file : "?") + ":" + std::to_string(line) + ", code " +
            std::to_string(code) + ")";
}
