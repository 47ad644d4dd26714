#include "common/registry.h"

#include "common/error.h"
#include "common/files.h"
#include "common/objectfactory.h"
#include "common/text.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <cmath>
#include <map>

namespace common {

namespace {
const QLatin1Char SEP('\\');

struct KeyText {
    QString root; // canonical short form
    QString path; // subkey, "" for the root itself
    QString name; // value name, or the subkey for the deleters
};

QString canonicalRoot(const QString& text) {
    const QString upper = text.toUpper();
    if (upper == QLatin1String("HKEY_CLASSES_ROOT") || upper == QLatin1String("HKCR"))
        return QStringLiteral("HKCR");
    if (upper == QLatin1String("HKEY_CURRENT_USER") || upper == QLatin1String("HKCU"))
        return QStringLiteral("HKCU");
    if (upper == QLatin1String("HKEY_LOCAL_MACHINE") || upper == QLatin1String("HKLM"))
        return QStringLiteral("HKLM");
    if (upper == QLatin1String("HKEY_USERS") || upper == QLatin1String("HKUR"))
        return QStringLiteral("HKUR");
    return {};
}

// False for an unknown root, a text without "\" or a path with an empty level.
bool splitKey(const QString& key, KeyText& out) {
    const qsizetype first = key.indexOf(SEP);
    if (first < 0)
        return false;
    const qsizetype last = key.lastIndexOf(SEP);
    out.root = canonicalRoot(key.left(first));
    out.path = first == last ? QString() : key.mid(first + 1, last - first - 1);
    out.name = key.mid(last + 1);
    return !out.root.isEmpty() && (out.path.isEmpty() || !out.path.split(SEP).contains(QString()));
}

QString joined(const QString& path, const QString& name) {
    return path.isEmpty() ? name : path + SEP + name;
}

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QString absoluteEnv(const char* name) {
    const QString value = qEnvironmentVariable(name);
    return QDir::isAbsolutePath(value) ? value : QString();
}

QString configHome() {
    const QString home = absoluteEnv("XDG_CONFIG_HOME");
    return home.isEmpty() ? QDir::homePath() + QStringLiteral("/.config") : home;
}

QString firstConfigDir() {
    for (const QString& dir : qEnvironmentVariable("XDG_CONFIG_DIRS").split(QLatin1Char(':')))
        if (QDir::isAbsolutePath(dir))
            return dir;
    return QStringLiteral("/etc/xdg");
}

Value decode(const QJsonValue& json) {
    if (json.isString())
        return json.toString();
    const QJsonObject o = json.toObject();
    if (o.contains(QLatin1String("dword"))) {
        const double d = o.value(QLatin1String("dword")).toDouble(-1e300);
        // Registry numbers are unsigned 32 bits; they read as signed ones.
        if (!(d >= INT32_MIN && d <= UINT32_MAX) || d != std::floor(d))
            return {};
        return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(d)));
    }
    if (o.contains(QLatin1String("binary"))) {
        const QByteArray hex = o.value(QLatin1String("binary")).toString().toLatin1();
        const QByteArray bytes = QByteArray::fromHex(hex);
        if (bytes.toHex() != hex.toLower())
            return {};
        Value::Array array;
        for (char c : bytes)
            array.emplace_back(int32_t(static_cast<unsigned char>(c)));
        return array;
    }
    return {};
}

bool isByteArray(const Value& value) {
    if (!value.isArray())
        return false;
    for (const Value& v : value.array())
        if (!v.isInt() || v.toInt() < 0 || v.toInt() > 255)
            return false;
    return true;
}

QJsonValue encode(const Value& value) {
    if (value.isInt())
        return QJsonObject{{QStringLiteral("dword"), value.toInt()}};
    if (isByteArray(value)) {
        QByteArray bytes;
        for (const Value& v : value.array())
            bytes.append(static_cast<char>(v.toInt()));
        return QJsonObject{{QStringLiteral("binary"), QString::fromLatin1(bytes.toHex())}};
    }
    return ToText(value);
}

// One root's file: key path -> object of values. Parent keys of a stored key
// exist without an entry of their own.
class Store final {
public:
    explicit Store(const QString& root) : m_file(CRegistry::StoreFile(root)) {}

    // False when the file exists but cannot be read or understood; writers
    // then leave it alone rather than replace what they could not read.
    bool load() {
        QFile f(m_file);
        if (!f.exists())
            return true;
        if (!f.open(QIODevice::ReadOnly))
            return false;
        const QByteArray bytes = f.readAll();
        if (bytes.trimmed().isEmpty())
            return true;
        const QJsonDocument doc = QJsonDocument::fromJson(bytes);
        if (!doc.isObject())
            return false;
        m_keys = doc.object();
        return true;
    }

    bool save() const {
        try {
            MkDirRecurse(QFileInfo(m_file).path());
            SaveFile(m_file, QJsonDocument(m_keys).toJson(QJsonDocument::Indented));
            return true;
        } catch (const Error&) {
            return false;
        }
    }

    // The stored spelling of path, or a null string when it has no entry.
    QString entry(const QString& path) const {
        for (auto it = m_keys.begin(); it != m_keys.end(); ++it)
            if (sameName(it.key(), path))
                return it.key();
        return {};
    }

    bool exists(const QString& path) const {
        return path.isEmpty() || !entry(path).isNull() || hasSubkeys(path);
    }

    bool hasSubkeys(const QString& path) const { return !subkeys(path).empty(); }

    // Names of the direct subkeys, sorted without regard to case.
    QStringList subkeys(const QString& path) const {
        const QString prefix = path.isEmpty() ? QString() : path + SEP;
        std::map<QString, QString> names; // lower case -> first spelling
        for (auto it = m_keys.begin(); it != m_keys.end(); ++it) {
            const QString& key = it.key();
            if (key.isEmpty() || !key.startsWith(prefix, Qt::CaseInsensitive))
                continue;
            const QString name = key.mid(prefix.size()).section(SEP, 0, 0);
            if (!name.isEmpty())
                names.emplace(name.toLower(), name);
        }
        QStringList out;
        for (const auto& [lower, name] : names)
            out.append(name);
        return out;
    }

    QJsonObject values(const QString& path) const {
        const QString key = entry(path);
        return key.isNull() ? QJsonObject() : m_keys.value(key).toObject();
    }

    void setValues(const QString& path, const QJsonObject& values) {
        const QString key = entry(path);
        m_keys.insert(key.isNull() ? path : key, values);
    }

    void removeKey(const QString& path) { m_keys.remove(entry(path)); }

private:
    QString m_file;
    QJsonObject m_keys;
};

// The stored spelling of a value name, or a null string.
QString valueName(const QJsonObject& values, const QString& name) {
    for (auto it = values.begin(); it != values.end(); ++it)
        if (sameName(it.key(), name))
            return it.key();
    return {};
}

DictionaryPtr readTree(const Store& store, const QString& path) {
    DictionaryPtr tree = NewDictionary();
    for (const QString& sub : store.subkeys(path))
        tree->Add(sub, readTree(store, joined(path, sub)));
    const QJsonObject values = store.values(path);
    for (auto it = values.begin(); it != values.end(); ++it) {
        const Value v = decode(it.value());
        if (!v.isEmpty())
            tree->Add(it.key(), v);
    }
    return tree;
}
} // namespace

QString CRegistry::StoreFile(const QString& rootText) {
    const QString root = canonicalRoot(rootText);
    if (root.isEmpty())
        return {};
    const QString base = root == QLatin1String("HKCU") ? configHome() : firstConfigDir();
    return base + QStringLiteral("/quorvex/registry/") + root + QStringLiteral(".json");
}

Value CRegistry::RegRead(const QString& key) const {
    KeyText k;
    if (!splitKey(key, k))
        return Null{};
    Store store(k.root);
    if (!store.load() || !store.exists(k.path))
        return Null{};
    const QJsonObject values = store.values(k.path);
    const QString name = valueName(values, k.name);
    return name.isNull() ? Value() : decode(values.value(name));
}

DictionaryPtr CRegistry::RegReadTree(const QString& key) const {
    KeyText k;
    if (!splitKey(key, k))
        return nullptr;
    Store store(k.root);
    if (!store.load() || !store.exists(k.path))
        return nullptr;
    return readTree(store, k.path);
}

bool CRegistry::RegWrite(const QString& key, const Value& value) const {
    KeyText k;
    if (!splitKey(key, k))
        return false;
    Store store(k.root);
    if (!store.load())
        return false;
    QJsonObject values = store.values(k.path);
    const QString existing = valueName(values, k.name);
    values.insert(existing.isNull() ? k.name : existing, encode(value));
    store.setValues(k.path, values);
    return store.save();
}

bool CRegistry::RegDeleteKey(const QString& key) const {
    KeyText k;
    if (!splitKey(key, k) || k.name.isEmpty())
        return false;
    Store store(k.root);
    const QString target = joined(k.path, k.name);
    if (!store.load() || !store.exists(target) || store.hasSubkeys(target))
        return false;
    // The parent may exist only through this subkey: it stays.
    if (!k.path.isEmpty())
        store.setValues(k.path, store.values(k.path));
    store.removeKey(target);
    return store.save();
}

bool CRegistry::RegDeleteValue(const QString& valueName) const {
    KeyText k;
    if (!splitKey(valueName, k))
        return false;
    Store store(k.root);
    if (!store.load())
        return false;
    QJsonObject values = store.values(k.path);
    const QString existing = common::valueName(values, k.name);
    if (existing.isNull())
        return false;
    values.remove(existing);
    store.setValues(k.path, values);
    return store.save();
}

} // namespace common
