#pragma once

#include "common/dictionary.h"

#include <QList>
#include <QPair>
#include <QString>
#include <optional>

namespace webapp {

// What a saved form entry showed, for the page the browser is sent to after the post.
struct SavedEntry {
    QString form;  // the form's name
    QString title; // the form's title
    QString savedText;
    QList<QPair<QString, QString>> values; // (field label, value as entered)
    QString lastInsertId;
};

// The entries saved lately, by form nonce, in the application Dictionary (the only state that
// lasts from one request to the next). The oldest go once there are more than MAX_ENTRIES.
class SavedEntries final {
public:
    static constexpr int MAX_ENTRIES = 200;
    static const QString KEY; // the entry of the application Dictionary

    explicit SavedEntries(const common::DictionaryPtr& application);

    // Keeps the first entry for a nonce: a repeated post shows what the first one saved.
    void remember(const QString& nonce, const SavedEntry& entry);
    std::optional<SavedEntry> find(const QString& nonce) const;

private:
    common::DictionaryPtr m_entries; // null without an application Dictionary
};

} // namespace webapp
