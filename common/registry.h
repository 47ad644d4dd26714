#pragma once

#include "common/dictionary.h"
#include "common/value.h"

#include <QString>

namespace common {

// Registry values by key text "ROOT\path\name": ROOT is HKEY_CLASSES_ROOT
// (HKCR), HKEY_CURRENT_USER (HKCU), HKEY_LOCAL_MACHINE (HKLM) or HKEY_USERS
// (HKUR), in any case; path the subkey with "\" between levels; name the
// value name, empty (the text ends with "\") for the key's default value.
// Key and value names compare without regard to case and keep the case they
// were first written with.
//
// Each root is a small file: HKCU under $XDG_CONFIG_HOME (default
// ~/.config), the others under the first folder of $XDG_CONFIG_DIRS (default
// /etc/xdg), at quorvex/registry/<ROOT>.json. A file maps each key path to its
// values: a JSON string is a string value, {"dword": n} a 32-bit number and
// {"binary": "0a1b"} a byte string. A hand-edited string value can be written
// as plainly as "DefaultLanguage": "de".
//
// No operation raises; the class keeps no state.
class CRegistry final {
public:
    // The value's data (text, 32-bit integer, or an array of integers 0..255 for
    // binary data); the null value when the key text cannot be understood or the
    // key does not exist; the empty value when the value is absent or of
    // another type.
    Value RegRead(const QString& key) const;
    // A Dictionary of the key's subkeys (nested Dictionaries) followed by its
    // values; null when the key does not exist.
    DictionaryPtr RegReadTree(const QString& key) const;
    // Creates missing keys. A 32-bit integer is stored as a number, an array
    // of integers 0..255 as binary data, anything else as text (ToText).
    bool RegWrite(const QString& key, const Value& value) const;
    // Deletes the subkey named by the last part of key; like the system
    // registry, a key that still has subkeys is not deleted.
    bool RegDeleteKey(const QString& key) const;
    // Deletes the value named by the last part of valueName.
    bool RegDeleteValue(const QString& valueName) const;

    // The file that holds a root ("" for an unknown root text).
    static QString StoreFile(const QString& rootText);
};

} // namespace common
