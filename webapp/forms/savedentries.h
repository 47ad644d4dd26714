#pragma once

#include "common/dictionary.h"

#include <QList>
#include <QPair>
#include <QString>
#include <optional>

namespace webapp {

using FieldValues = QList<QPair<QString, QString>>; // (field label, value as entered)

// What a saved form entry showed, for the page the browser is sent to after the post.
struct SavedEntry {
    QString form;  // the form's name
    QString title; // the form's title
    QString savedText;
    FieldValues values; // what the entry was saved with, when known
    QString lastInsertId;
    bool valuesKnown = true;
    // Sent again after it had been written: this send wrote nothing.
    bool sentAgain = false;
    // The values of such a send when they differ from the saved ones (or those are not known).
    FieldValues notWritten;
};

// The entries saved lately, by form nonce, in the application Dictionary (the only state that
// lasts from one request to the next); also the sends whose reply did not come, since one of
// them may have been written. The oldest go once there are more than MAX_ENTRIES.
class SavedEntries final {
public:
    static constexpr int MAX_ENTRIES = 200;
    static const QString KEY; // the entry of the application Dictionary

    explicit SavedEntries(const common::DictionaryPtr& application);

    // What the page of a saved entry shows from now on.
    void remember(const QString& nonce, const SavedEntry& entry);
    // nullopt until remember was called for nonce.
    std::optional<SavedEntry> find(const QString& nonce) const;

    // A send of nonce whose reply did not come: it may or may not have been written.
    void rememberUnanswered(const QString& nonce, const SavedEntry& entry);
    // What the unanswered sends of nonce sent, when they all sent the same values: what was
    // written, if one of them was. nullopt when there were none, or they differ.
    std::optional<SavedEntry> unanswered(const QString& nonce) const;

private:
    static common::DictionaryPtr record(const SavedEntry& entry, bool saved);
    void store(const QString& nonce, const SavedEntry& entry, bool saved);
    void trim(); // to MAX_ENTRIES, the oldest first
    std::optional<SavedEntry> read(const QString& nonce, bool saved) const;

    common::DictionaryPtr m_entries; // null without an application Dictionary
};

} // namespace webapp
