#include "platform/support/CQiString.h"

#include <cstdio>
#include <utility>

CQiString::CQiString() : m_length(0) {}

CQiString::CQiString(const char* text) : m_length(0) {
    *this += text;
}

CQiString::CQiString(int value) : m_length(0) {
    char digits[16];
    int n = snprintf(digits, sizeof digits, "%d", value);
    Append(digits, static_cast<unsigned long>(n));
}

CQiString::CQiString(const CQiString& other) : m_length(0) {
    Append(other.m_buffer.Ptr_const(), other.m_length);
}

CQiString::~CQiString() = default;

CQiString& CQiString::operator=(const CQiString& other) {
    if (this != &other) {
        m_length = 0;
        if (m_buffer.Capacity() != 0) {
            m_buffer.Ptr()[0] = '\0';
        }
        m_buffer.SetSize(0);
        Append(other.m_buffer.Ptr_const(), other.m_length);
    }
    return *this;
}

CQiString& CQiString::Append(const char* text, unsigned long count) {
    if (text == nullptr || count == 0) {
        return *this;
    }
    unsigned long needed = m_length + count + 1;
    if (needed > m_buffer.Capacity()) {
        unsigned long capacity = m_buffer.Capacity() * 2;
        if (capacity < needed) {
            capacity = needed;
        }
        // Fill the new buffer before the old one goes: `text` may point into it.
        CAutoMemory<char> grown(capacity);
        if (m_length != 0) {
            memcpy(grown.Ptr(), m_buffer.Ptr(), m_length);
        }
        memcpy(grown.Ptr() + m_length, text, count);
        m_buffer = std::move(grown);
    } else {
        memmove(m_buffer.Ptr() + m_length, text, count);
    }
    m_length += count;
    m_buffer.Ptr()[m_length] = '\0';
    m_buffer.SetSize(m_length + 1);
    return *this;
}

int CQiString::Safe_strcmp(const char* a, const char* b) {
    return strcmp(a != nullptr ? a : "", b != nullptr ? b : "");
}
