#pragma once
// The support library's string: a NUL-terminated text in an owned buffer and its length in bytes.
#include <cstring>

#include "platform/support/CAutoMemory.h"

class CQiString {
public:
    CQiString();
    CQiString(const char* text);    // null gives the empty string
    explicit CQiString(int value);  // the decimal text of `value`
    CQiString(const CQiString& other);
    ~CQiString();
    CQiString& operator=(const CQiString& other);

    // Appends `count` bytes of `text`; a null text appends nothing.
    CQiString& Append(const char* text, unsigned long count);
    // strcmp that takes a null pointer as the empty text, so empty strings with and without a buffer are equal.
    static int Safe_strcmp(const char* a, const char* b);

    CQiString& operator+=(const char* text) {
        if (text != nullptr) {
            Append(text, strlen(text));
        }
        return *this;
    }
    CQiString operator+(const CQiString& other) const {
        CQiString result(*this);
        result.Append(other.m_buffer.Ptr_const(), other.m_length);
        return result;
    }
    CQiString operator+(const char* text) const {
        CQiString result(*this);
        result += text;
        return result;
    }
    bool operator<(const CQiString& other) const {
        return Safe_strcmp(m_buffer.Ptr_const(), other.m_buffer.Ptr_const()) < 0;
    }
    const char* c_str() const { return m_length != 0 ? m_buffer.Ptr_const() : ""; }
    operator const char*() const { return c_str(); }
    unsigned long Length() const { return m_length; }

private:
    CAutoMemory<char> m_buffer;
    unsigned long m_length;
};
