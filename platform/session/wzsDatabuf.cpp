#include "platform/session/wzsDatabuf.h"

#include <utility>

wzsDatabuf_v2::wzsDatabuf_v2(wzsDatabuf_v2&& other) noexcept
    : m_buffer(std::move(other.m_buffer)),
      m_session(std::move(other.m_session)),
      m_data(std::exchange(other.m_data, nullptr)),
      m_validLen(std::exchange(other.m_validLen, 0)) {}

wzsDatabuf_v2& wzsDatabuf_v2::operator=(wzsDatabuf_v2&& other) noexcept {
    if (this != &other) {
        m_buffer = std::move(other.m_buffer);
        m_session = std::move(other.m_session);
        m_data = std::exchange(other.m_data, nullptr);
        m_validLen = std::exchange(other.m_validLen, 0);
    }
    return *this;
}

void wzsDatabuf_v2::setExternalBuffer(char* buffer, unsigned long length) {
    releaseSessionMemory();
    m_buffer.Attach(buffer, length, false);
    m_data = m_buffer.Ptr();
    m_validLen = m_buffer.Capacity();
}

void wzsDatabuf_v2::releaseSessionMemory() {
    m_session.Release();
    m_data = m_buffer.Ptr();
    m_validLen = 0;
}
