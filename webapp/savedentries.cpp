#include "webapp/savedentries.h"

#include "common/objectfactory.h"
#include "common/text.h"

namespace webapp {

const QString SavedEntries::KEY = QStringLiteral("WebApp.SavedEntries");

namespace {
const QString FORM = QStringLiteral("Form");
const QString TITLE = QStringLiteral("Title");
const QString SAVED_TEXT = QStringLiteral("SavedText");
const QString LAST_INSERT_ID = QStringLiteral("LastInsertId");
const QString LABELS = QStringLiteral("Labels");
const QString VALUES = QStringLiteral("Values");
} // namespace

SavedEntries::SavedEntries(const common::DictionaryPtr& application) {
    if (!application)
        return;
    const common::Value v = application->item(KEY);
    if (v.isDictionary()) {
        m_entries = v.dictionary();
    } else {
        m_entries = common::NewDictionary();
        application->setItem(KEY, m_entries);
    }
}

void SavedEntries::remember(const QString& nonce, const SavedEntry& entry) {
    if (!m_entries || m_entries->Exists(nonce))
        return;
    common::Value::Array labels, values;
    for (const auto& [label, value] : entry.values) {
        labels.push_back(label);
        values.push_back(value);
    }
    const common::DictionaryPtr d = common::NewDictionary();
    d->setItem(FORM, entry.form);
    d->setItem(TITLE, entry.title);
    d->setItem(SAVED_TEXT, entry.savedText);
    d->setItem(LAST_INSERT_ID, entry.lastInsertId);
    d->setItem(LABELS, labels);
    d->setItem(VALUES, values);
    m_entries->setItem(nonce, d);
    while (m_entries->count() > MAX_ENTRIES)
        m_entries->remove(m_entries->keys().first());
}

std::optional<SavedEntry> SavedEntries::find(const QString& nonce) const {
    const common::Value v = m_entries ? m_entries->item(nonce) : common::Value();
    if (!v.isDictionary())
        return std::nullopt;
    const common::DictionaryPtr& d = v.dictionary();
    SavedEntry entry{common::ToText(d->item(FORM)),
                     common::ToText(d->item(TITLE)),
                     common::ToText(d->item(SAVED_TEXT)),
                     {},
                     common::ToText(d->item(LAST_INSERT_ID))};
    const common::Value labels = d->item(LABELS);
    const common::Value values = d->item(VALUES);
    if (labels.isArray() && values.isArray())
        for (size_t i = 0; i < labels.array().size() && i < values.array().size(); ++i)
            entry.values.append(
                {common::ToText(labels.array()[i]), common::ToText(values.array()[i])});
    return entry;
}

} // namespace webapp
