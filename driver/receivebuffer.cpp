#include "receivebuffer.h"

#include <algorithm>

size_t CReceiveBuffer::Append(const BYTE *bytes, size_t count)
{
    CAutoLock lock(m_lock);
    if (count >= kLimit) {
        // Only the newest kLimit bytes of this batch can stay.
        size_t dropped = m_bytes.size() + count - kLimit;
        m_bytes.assign(bytes + count - kLimit, bytes + count);
        return dropped;
    }
    size_t dropped = 0;
    if (m_bytes.size() + count > kLimit) {
        dropped = m_bytes.size() + count - kLimit;
        m_bytes.erase(m_bytes.begin(), m_bytes.begin() + dropped);
    }
    m_bytes.insert(m_bytes.end(), bytes, bytes + count);
    return dropped;
}

size_t CReceiveBuffer::Take(BYTE *out, size_t count)
{
    CAutoLock lock(m_lock);
    size_t n = std::min(count, m_bytes.size());
    std::copy(m_bytes.begin(), m_bytes.begin() + n, out);
    m_bytes.erase(m_bytes.begin(), m_bytes.begin() + n);
    return n;
}

size_t CReceiveBuffer::Size()
{
    CAutoLock lock(m_lock);
    return m_bytes.size();
}
