#include "tables/password.h"

#include <sodium.h>

#include <QByteArray>
#include <QList>
#include <cstdint>
#include <cstring>

#include "tables/engine/codepage.h"

namespace pulpex {

static_assert(crypto_pwhash_STRBYTES - 1 <= kPasswordHashFieldSize,
              "an encoded hash must fit the users table's hash field");

namespace {

// The CP1250 code of c, or '?' when CP1250 has no such character.
int cp1250Code(char32_t c) {
    if (c < 0x80) return static_cast<int>(c);
    const engine::CodePage& cp = engine::CodePage::forNumber(1250);
    if (c != 0xFFFD) {
        for (int b = 0x80; b < 0x100; ++b)
            if (cp.toUnicode(static_cast<unsigned char>(b)) == c) return b;
    }
    return '?';
}

// sodium_init() once for all threads (a function-local static is initialised exactly once).
bool sodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

QByteArray passwordBytes(const QString& password) {
    return password.normalized(QString::NormalizationForm_C).toUtf8();
}

// The stored hash as libsodium reads it: zero-terminated in a buffer of its full size. False when
// it cannot be an encoded hash (empty, too long, not ASCII). Blanks a character field pads with
// are not part of it.
bool encodedHash(const QString& hash, char (&out)[crypto_pwhash_STRBYTES]) {
    const QString h = hash.trimmed();
    if (h.isEmpty() || h.size() >= static_cast<qsizetype>(crypto_pwhash_STRBYTES)) return false;
    for (QChar c : h)
        if (c.unicode() < 0x21 || c.unicode() > 0x7E) return false;
    std::memset(out, 0, sizeof out);
    const QByteArray bytes = h.toLatin1();
    std::memcpy(out, bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return true;
}

}  // namespace

int PasswordValue(const QString& text) {
    // Unsigned, so that an absurdly long text wraps as the old 32-bit sum did instead of
    // overflowing.
    std::uint32_t sum = kPasswordValueBase;
    for (char32_t c : text.normalized(QString::NormalizationForm_C).toUcs4())
        sum += static_cast<std::uint32_t>(cp1250Code(c));
    return static_cast<int>(sum);
}

QString PasswordHash(const QString& password) {
    if (!sodiumReady()) return {};
    const QByteArray bytes = passwordBytes(password);
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str_alg(out, bytes.constData(), static_cast<unsigned long long>(bytes.size()),
                              crypto_pwhash_OPSLIMIT_INTERACTIVE,
                              crypto_pwhash_MEMLIMIT_INTERACTIVE,
                              crypto_pwhash_ALG_ARGON2ID13) != 0)
        return {};
    return QString::fromLatin1(out);
}

bool PasswordHashMatches(const QString& hash, const QString& password) {
    if (!sodiumReady()) return false;
    char encoded[crypto_pwhash_STRBYTES];
    if (!encodedHash(hash, encoded)) return false;
    const QByteArray bytes = passwordBytes(password);
    return crypto_pwhash_str_verify(encoded, bytes.constData(),
                                    static_cast<unsigned long long>(bytes.size())) == 0;
}

bool PasswordHashNeedsRehash(const QString& hash) {
    if (!sodiumReady()) return true;
    char encoded[crypto_pwhash_STRBYTES];
    if (!encodedHash(hash, encoded)) return true;
    // libsodium would accept an Argon2i hash of today's limits; ours are Argon2id.
    if (std::strncmp(encoded, crypto_pwhash_argon2id_STRPREFIX,
                     std::strlen(crypto_pwhash_argon2id_STRPREFIX)) != 0)
        return true;
    // Nonzero both for weaker limits (1) and for a string that is no Argon2id hash (-1).
    return crypto_pwhash_str_needs_rehash(encoded, crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0;
}

bool PasswordMatches(int storedValue, const QString& storedHash, const QString& typed) {
    if (!storedHash.trimmed().isEmpty()) return PasswordHashMatches(storedHash, typed);
    return PasswordValue(typed) == storedValue;
}

namespace {
// The old value before the hash: digits (a sign allowed) up to the first ':'.
qsizetype stampEnd(const QString& field) {
    const qsizetype colon = field.indexOf(QLatin1Char(':'));
    if (colon <= 0 || colon > 11) return -1;
    bool ok = false;
    field.left(colon).toInt(&ok);
    return ok ? colon : -1;
}
}  // namespace

QString PasswordHashField(int value, const QString& hash) {
    const QString h = hash.trimmed();
    if (h.isEmpty()) return {};
    const QString stamped = QString::number(value) + QLatin1Char(':') + h;
    return stamped.size() <= kPasswordHashFieldSize ? stamped : h;
}

QString PasswordHashFromField(int value, const QString& field) {
    const QString f = field.trimmed();
    const qsizetype end = stampEnd(f);
    if (end < 0) return f;
    if (f.left(end).toInt() != value) return {};
    return f.mid(end + 1);
}

bool PasswordHashFieldStamped(const QString& field) {
    return stampEnd(field.trimmed()) >= 0;
}

}  // namespace pulpex
