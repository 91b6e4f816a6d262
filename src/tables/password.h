// Passwords of the users table: the old password value, still stored for old clients, and the
// salted Argon2id hash that replaces it for checking.
#pragma once

#include <QString>

namespace pulpex {

// The old value of an empty password.
constexpr int kPasswordValueBase = 6150427;

// The string field that holds an encoded hash: crypto_pwhash_STRBYTES is 128 with the terminator,
// so an encoded hash is at most 127 ASCII characters.
constexpr int kPasswordHashFieldSize = 128;

// The old program's value: kPasswordValueBase plus the CP1250 codes (0 to 255) of the characters,
// as it ran on Polish Windows; a character outside CP1250 counts as '?' (63). Since any anagram
// gives the same value, it no longer decides alone once a hash is stored. The text is taken in
// composed form, so that a Polish letter counts as one character however it was typed.
int PasswordValue(const QString& text);

// The crypto_pwhash_str encoding (Argon2id, interactive limits, random salt) of the password's
// UTF-8 bytes in composed form. Empty only when libsodium cannot work (no memory): callers then
// keep the old value alone.
QString PasswordHash(const QString& password);
// Whether `password` is the one hashed in `hash`; false for an empty or malformed hash.
bool PasswordHashMatches(const QString& hash, const QString& password);
// Whether `hash` should be made again: weaker limits than today's, another algorithm, or not a
// hash at all.
bool PasswordHashNeedsRehash(const QString& hash);

// The hash field holds, before the hash, the old value it was made with ("6150427:$argon2id$…"):
// an old client that changes a password rewrites the old value only, and the mismatch shows that
// the hash no longer belongs to the password. Empty for an empty hash; the bare hash when the
// value would not fit beside it.
QString PasswordHashField(int value, const QString& hash);
// The hash of a field as stored, or empty when it was made for another old value than `value`
// (the password was changed by an old client since). A field without the value (written before
// it was kept) gives its hash as it is.
QString PasswordHashFromField(int value, const QString& field);
// Whether the field keeps the old value beside its hash.
bool PasswordHashFieldStamped(const QString& field);

// Whether `typed` is the user's password. A stored hash alone decides; without one the old value
// does. A user who matched by the old value should then get PasswordHash(typed) written, so that
// the value stops deciding for them.
bool PasswordMatches(int storedValue, const QString& storedHash, const QString& typed);

}  // namespace pulpex
