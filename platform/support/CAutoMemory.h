#pragma once
// A heap array that is either owned (freed with the holder) or attached from outside (left to its owner):
// the text buffer of CQiString and the payload buffer of a session data buffer.

template <typename T>
class CAutoMemory {
public:
    CAutoMemory() : m_capacity(0), m_ptr(nullptr), m_size(0), m_owned(true) {}
    explicit CAutoMemory(unsigned long count) : CAutoMemory() { Allocate(count); }
    ~CAutoMemory() {
        if (m_owned) {
            Release();
        }
    }
    CAutoMemory(const CAutoMemory&) = delete;
    CAutoMemory& operator=(const CAutoMemory&) = delete;
    CAutoMemory(CAutoMemory&& other) noexcept
        : m_capacity(other.m_capacity), m_ptr(other.m_ptr), m_size(other.m_size), m_owned(other.m_owned) {
        other.forget();
    }
    CAutoMemory& operator=(CAutoMemory&& other) noexcept {
        if (this != &other) {
            Release();
            m_capacity = other.m_capacity;
            m_ptr = other.m_ptr;
            m_size = other.m_size;
            m_owned = other.m_owned;
            other.forget();
        }
        return *this;
    }

    // Replaces the buffer with an owned, zeroed one of `count` elements, all of them in use.
    T* Allocate(unsigned long count) {
        Release();
        m_ptr = count != 0 ? new T[count]() : nullptr;
        m_capacity = count;
        m_size = count;
        m_owned = true;
        return m_ptr;
    }

    // Uses `buffer` of `count` elements in place; with `owned` false it is never freed here.
    void Attach(T* buffer, unsigned long count, bool owned) {
        Release();
        m_ptr = buffer;
        m_capacity = buffer != nullptr ? count : 0;
        m_size = m_capacity;
        m_owned = owned;
    }

    // Hands the buffer to the caller, who frees it (array delete) when it was owned.
    T* Detach() {
        T* buffer = m_ptr;
        forget();
        return buffer;
    }

    // Frees an owned buffer; an attached foreign buffer is only let go, never freed, so releasing a
    // buffer that points at a caller's record cannot corrupt the heap.
    void Release() {
        if (m_ptr != nullptr) {
            if (m_owned) {
                delete[] m_ptr;
            }
            forget();
        }
    }

    T* Ptr() { return m_ptr; }
    // Null while nothing is in use, even when a buffer is held.
    const T* Ptr_const() const { return m_size != 0 ? m_ptr : nullptr; }
    unsigned long Size() const { return m_size; }
    unsigned long Capacity() const { return m_capacity; }
    bool IsOwned() const { return m_owned; }
    // Sets how many elements are in use; false (and no change) beyond the buffer.
    bool SetSize(unsigned long count) {
        if (count > m_capacity) {
            return false;
        }
        m_size = count;
        return true;
    }

private:
    void forget() {
        m_capacity = 0;
        m_ptr = nullptr;
        m_size = 0;
    }

    unsigned long m_capacity;
    T* m_ptr;
    unsigned long m_size;
    bool m_owned;
};
