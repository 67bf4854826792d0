#include "net/netroomlisttrim.h"

#include <QSet>

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {
// Deeper values are left to the full reader, which has its own limit.
constexpr int kMaxDepth = 64;

// One pass over the body that checks it as JSON and copies it, less the parts it drops.
class Trim
{
public:
    explicit Trim(const QByteArray& body)
        : m_p(body.constData()), m_end(m_p + body.size()), m_copied(m_p)
    {
        m_out.reserve(body.size() / 4);
    }

    QByteArray run()
    {
        if (!topObject())
            return QByteArray();
        skipSpace();
        if (m_p != m_end)
            return QByteArray();
        m_out.append(m_copied, int(m_end - m_copied));
        return m_out;
    }

private:
    void skipSpace()
    {
        while (m_p < m_end && (*m_p == ' ' || *m_p == '\n' || *m_p == '\r' || *m_p == '\t'))
            ++m_p;
    }

    bool at(char c)
    {
        skipSpace();
        return m_p < m_end && *m_p == c;
    }

    bool take(char c)
    {
        if (!at(c))
            return false;
        ++m_p;
        return true;
    }

    // One character of two to four bytes, as a JSON reader takes it: no overlong form, no
    // surrogate, nothing past U+10FFFF.
    bool multiByte()
    {
        const auto lead = static_cast<unsigned char>(*m_p);
        int follow = 0;
        if (lead >= 0xC2 && lead <= 0xDF)
            follow = 1;
        else if (lead >= 0xE0 && lead <= 0xEF)
            follow = 2;
        else if (lead >= 0xF0 && lead <= 0xF4)
            follow = 3;
        else
            return false;
        if (m_end - m_p <= follow)
            return false;
        quint32 code = lead & (0x3F >> follow);
        for (int i = 1; i <= follow; ++i) {
            const auto next = static_cast<unsigned char>(m_p[i]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        if (follow == 2 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF)))
            return false;
        if (follow == 3 && (code < 0x10000 || code > 0x10FFFF))
            return false;
        m_p += follow + 1;
        return true;
    }

    // Past the bytes of a string that need no look of their own: not a quote, a backslash, a
    // control character or the start of a longer character. Most of a body's bytes are those.
    void skipPlain()
    {
#ifdef __SSE2__
        const __m128i quote = _mm_set1_epi8('"');
        const __m128i backslash = _mm_set1_epi8('\\');
        const __m128i space = _mm_set1_epi8(0x20);
        while (m_end - m_p >= 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m_p));
            // Signed: a byte from 0x80 up is negative, below the space too.
            const __m128i special = _mm_or_si128(
                _mm_or_si128(_mm_cmpeq_epi8(bytes, quote), _mm_cmpeq_epi8(bytes, backslash)),
                _mm_cmplt_epi8(bytes, space));
            const int mask = _mm_movemask_epi8(special);
            if (mask != 0) {
                m_p += __builtin_ctz(unsigned(mask));
                return;
            }
            m_p += 16;
        }
#endif
        while (m_p < m_end) {
            const auto c = static_cast<unsigned char>(*m_p);
            if (c == '"' || c == '\\' || c < 0x20 || c >= 0x80)
                return;
            ++m_p;
        }
    }

    bool string()
    {
        if (!take('"'))
            return false;
        while (m_p < m_end) {
            skipPlain();
            if (m_p == m_end)
                break;
            const auto c = static_cast<unsigned char>(*m_p);
            if (c == '"') {
                ++m_p;
                return true;
            }
            if (c < 0x20)
                return false;
            if (c >= 0x80) {
                if (!multiByte())
                    return false;
                continue;
            }
            ++m_p;
            if (c != '\\')
                continue;
            if (m_p == m_end)
                return false;
            const char escaped = *m_p++;
            if (escaped == 'u') {
                for (int i = 0; i < 4; ++i, ++m_p) {
                    if (m_p == m_end || !std::isxdigit(static_cast<unsigned char>(*m_p)))
                        return false;
                }
            } else if (!std::strchr("\"\\/bfnrt", escaped) || escaped == '\0') {
                return false;
            }
        }
        return false;
    }

    bool digits()
    {
        const char* start = m_p;
        while (m_p < m_end && *m_p >= '0' && *m_p <= '9')
            ++m_p;
        return m_p != start;
    }

    bool number()
    {
        const char* start = m_p;
        if (!numberSyntax())
            return false;
        // A short integer is in range; anything else is when it converts to a finite double
        // (without the locale, as JSON is written).
        const size_t length = size_t(m_p - start);
        if (length <= 18 && !std::memchr(start, '.', length) && !std::memchr(start, 'e', length) &&
            !std::memchr(start, 'E', length))
            return true;
        double value = 0;
        const std::from_chars_result converted = std::from_chars(start, m_p, value);
        return converted.ec == std::errc() && converted.ptr == m_p && std::isfinite(value);
    }

    bool numberSyntax()
    {
        if (m_p < m_end && *m_p == '-')
            ++m_p;
        if (m_p < m_end && *m_p == '0')
            ++m_p;
        else if (m_p == m_end || *m_p < '1' || *m_p > '9' || !digits())
            return false;
        if (m_p < m_end && *m_p == '.') {
            ++m_p;
            if (!digits())
                return false;
        }
        if (m_p < m_end && (*m_p == 'e' || *m_p == 'E')) {
            ++m_p;
            if (m_p < m_end && (*m_p == '+' || *m_p == '-'))
                ++m_p;
            if (!digits())
                return false;
        }
        return true;
    }

    bool word(const char* text)
    {
        const size_t length = std::strlen(text);
        if (size_t(m_end - m_p) < length || std::memcmp(m_p, text, length) != 0)
            return false;
        m_p += length;
        return true;
    }

    // Any value, checked and kept.
    bool value(int depth)
    {
        if (depth > kMaxDepth)
            return false;
        skipSpace();
        if (m_p == m_end)
            return false;
        switch (*m_p) {
        case '"':
            return string();
        case '{':
            return members(depth,
                           [this](const char*, const char*, int inner) { return value(inner); });
        case '[':
            return elements(depth, [this](int inner) { return value(inner); });
        case 't':
            return word("true");
        case 'f':
            return word("false");
        case 'n':
            return word("null");
        default:
            return number();
        }
    }

    // An object whose values `each` reads, given the key's start and end and the depth.
    template <typename Each>
    bool members(int depth, Each each)
    {
        if (!take('{'))
            return false;
        if (take('}'))
            return true;
        do {
            skipSpace();
            const char* key = m_p;
            if (!string())
                return false;
            const char* keyEnd = m_p;
            if (!take(':') || !each(key, keyEnd, depth + 1))
                return false;
        } while (take(','));
        return take('}');
    }

    template <typename Each>
    bool elements(int depth, Each each)
    {
        if (!take('['))
            return false;
        if (take(']'))
            return true;
        do {
            if (!each(depth + 1))
                return false;
        } while (take(','));
        return take(']');
    }

    // A key written with an escape may be one of the keys the trim looks for, given twice.
    static bool escaped(const char* key, const char* keyEnd)
    {
        return std::memchr(key, '\\', size_t(keyEnd - key)) != nullptr;
    }

    bool topObject()
    {
        bool listSeen = false;
        return members(0, [this, &listSeen](const char* key, const char* keyEnd, int depth) {
            if (escaped(key, keyEnd))
                return false;
            const bool isList = keyEnd - key == 6 && std::memcmp(key, "\"list\"", 6) == 0;
            if (!isList)
                return value(depth);
            // Two lists: the one the reader keeps might have lost records to the other.
            if (std::exchange(listSeen, true))
                return false;
            if (!at('['))
                return value(depth);
            QSet<QByteArray> given;
            return elements(depth, [this, &given](int inner) {
                return at('{') ? room(inner, &given) : value(inner);
            });
        });
    }

    bool room(int depth, QSet<QByteArray>* given)
    {
        bool membersSeen = false;
        return members(depth,
                       [this, given, &membersSeen](const char* key, const char* keyEnd, int inner) {
                           if (escaped(key, keyEnd))
                               return false;
                           if (keyEnd - key != 9 || std::memcmp(key, "\"members\"", 9) != 0)
                               return value(inner);
                           if (std::exchange(membersSeen, true))
                               return false;
                           if (!at('['))
                               return value(inner);
                           return elements(inner, [this, given](int element) {
                               return at('{') ? member(element, given) : value(element);
                           });
                       });
    }

    // A member: its user record goes when a member of the same id (as written) has given one.
    bool member(int depth, QSet<QByteArray>* given)
    {
        QByteArray id;
        bool idSeen = false;
        bool hasRecord = false;
        const char* dropFrom = nullptr;
        const char* dropTo = nullptr;
        const char* previousEnd = nullptr;
        const bool read = members(depth, [&](const char* key, const char* keyEnd, int inner) {
            if (escaped(key, keyEnd))
                return false;
            const bool isId = keyEnd - key == 12 && std::memcmp(key, "\"joinUserId\"", 12) == 0;
            const bool isUser = keyEnd - key == 6 && std::memcmp(key, "\"user\"", 6) == 0;
            skipSpace();
            const char* start = m_p;
            if (!value(inner))
                return false;
            if (isId) {
                if (std::exchange(idSeen, true))
                    return false;
                id = QByteArray(start, int(m_p - start));
            } else if (isUser) {
                if (hasRecord || dropFrom)
                    return false;
                hasRecord = *start == '{';
                // With the comma before it, or after it when it is the first.
                dropFrom = previousEnd ? previousEnd : key;
                dropTo = m_p;
                if (!previousEnd && at(','))
                    dropTo = m_p + 1;
            }
            previousEnd = m_p;
            return true;
        });
        if (!read)
            return false;
        if (dropFrom && idSeen) {
            if (given->contains(id)) {
                m_out.append(m_copied, int(dropFrom - m_copied));
                m_copied = dropTo;
            } else if (hasRecord) {
                given->insert(id);
            }
        }
        return true;
    }

    const char* m_p;
    const char* m_end;
    const char* m_copied;
    QByteArray m_out;
};
} // namespace

QByteArray NetRoomListTrim::trimmed(const QByteArray& body)
{
    return Trim(body).run();
}
