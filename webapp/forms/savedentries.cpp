#include "webapp/forms/savedentries.h"

#include "common/objectfactory.h"
#include "common/text.h"

namespace webapp {

const QString SavedEntries::KEY = QStringLiteral("WebApp.SavedEntries");

namespace {
const QString FORM = QStringLiteral("Form");
const QString TITLE = QStringLiteral("Title");
const QString SAVED_TEXT = QStringLiteral("SavedText");
const QString LAST_INSERT_ID = QStringLiteral("LastInsertId");
const QString VALUES = QStringLiteral("Values");
const QString VALUES_KNOWN = QStringLiteral("ValuesKnown");
const QString SENT_AGAIN = QStringLiteral("SentAgain");
const QString NOT_WRITTEN = QStringLiteral("NotWritten");
const QString SAVED = QStringLiteral("Saved");     // false: sent, no reply came
const QString AGREE = QStringLiteral("Agree");     // every unanswered send had these values
const QString LABELS = QStringLiteral("Labels");   // of the values: [label, ...]
const QString ENTERED = QStringLiteral("Entered"); // of the values: [value, ...]

common::DictionaryPtr valuesDictionary(const FieldValues& values) {
    common::Value::Array labels, entered;
    for (const auto& [label, value] : values) {
        labels.push_back(label);
        entered.push_back(value);
    }
    const common::DictionaryPtr d = common::NewDictionary();
    d->setItem(LABELS, labels);
    d->setItem(ENTERED, entered);
    return d;
}

FieldValues valuesOf(const common::Value& v) {
    FieldValues values;
    if (!v.isDictionary())
        return values;
    const common::Value labels = v.dictionary()->item(LABELS);
    const common::Value entered = v.dictionary()->item(ENTERED);
    if (labels.isArray() && entered.isArray())
        for (size_t i = 0; i < labels.array().size() && i < entered.array().size(); ++i)
            values.append({common::ToText(labels.array()[i]), common::ToText(entered.array()[i])});
    return values;
}
} // namespace

SavedEntries::SavedEntries(const common::DictionaryPtr& application) {
    if (!application)
        return;
    // Two pages of one form at once must keep one record.
    const common::Value v = application->itemOrAdd(KEY, common::NewDictionary());
    if (v.isDictionary()) {
        m_entries = v.dictionary();
    } else {
        m_entries = common::NewDictionary();
        application->setItem(KEY, m_entries);
    }
}

common::DictionaryPtr SavedEntries::record(const SavedEntry& entry, bool saved) {
    const common::DictionaryPtr d = common::NewDictionary();
    d->setItem(FORM, entry.form);
    d->setItem(TITLE, entry.title);
    d->setItem(SAVED_TEXT, entry.savedText);
    d->setItem(LAST_INSERT_ID, entry.lastInsertId);
    d->setItem(VALUES, valuesDictionary(entry.values));
    d->setItem(VALUES_KNOWN, entry.valuesKnown);
    d->setItem(SENT_AGAIN, entry.sentAgain);
    d->setItem(NOT_WRITTEN, valuesDictionary(entry.notWritten));
    d->setItem(SAVED, saved);
    d->setItem(AGREE, true);
    return d;
}

void SavedEntries::store(const QString& nonce, const SavedEntry& entry, bool saved) {
    m_entries->setItem(nonce, record(entry, saved));
    trim();
}

void SavedEntries::trim() {
    while (m_entries->count() > MAX_ENTRIES)
        m_entries->remove(m_entries->keys().first());
}

std::optional<SavedEntry> SavedEntries::read(const QString& nonce, bool saved) const {
    const common::Value v = m_entries ? m_entries->item(nonce) : common::Value();
    if (!v.isDictionary())
        return std::nullopt;
    const common::DictionaryPtr& d = v.dictionary();
    if (d->item(SAVED).boolean() != saved || !d->item(AGREE).boolean())
        return std::nullopt;
    SavedEntry entry;
    entry.form = common::ToText(d->item(FORM));
    entry.title = common::ToText(d->item(TITLE));
    entry.savedText = common::ToText(d->item(SAVED_TEXT));
    entry.values = valuesOf(d->item(VALUES));
    entry.lastInsertId = common::ToText(d->item(LAST_INSERT_ID));
    entry.valuesKnown = d->item(VALUES_KNOWN).boolean();
    entry.sentAgain = d->item(SENT_AGAIN).boolean();
    entry.notWritten = valuesOf(d->item(NOT_WRITTEN));
    return entry;
}

void SavedEntries::remember(const QString& nonce, const SavedEntry& entry) {
    if (m_entries)
        store(nonce, entry, true);
}

std::optional<SavedEntry> SavedEntries::find(const QString& nonce) const {
    return read(nonce, true);
}

void SavedEntries::rememberUnanswered(const QString& nonce, const SavedEntry& entry) {
    if (!m_entries)
        return;
    // In one call: a page of the same nonce finishing meanwhile keeps what it stored.
    const common::DictionaryPtr added = record(entry, false);
    const common::Value v = m_entries->itemOrAdd(nonce, added);
    if (!v.isDictionary()) {
        store(nonce, entry, false);
        return;
    }
    if (v.dictionary() == added) {
        trim();
        return;
    }
    const common::DictionaryPtr& d = v.dictionary();
    if (d->item(SAVED).boolean())
        return; // known to be written: nothing sent later changes that
    // Sends with other values: which of them was written, if any, is not known here.
    if (valuesOf(d->item(VALUES)) != entry.values)
        d->setItem(AGREE, false);
}

std::optional<SavedEntry> SavedEntries::unanswered(const QString& nonce) const {
    return read(nonce, false);
}

} // namespace webapp
