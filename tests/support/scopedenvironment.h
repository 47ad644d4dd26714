#pragma once

#include <QByteArray>
#include <initializer_list>
#include <optional>
#include <utility>
#include <vector>

namespace support {

// Sets environment variables for a scope and puts the earlier values back at its end.
class ScopedEnvironment final {
public:
    ScopedEnvironment() = default;
    // Sets each name to its value (nullptr unsets it).
    explicit ScopedEnvironment(std::initializer_list<std::pair<const char*, const char*>> values) {
        for (const auto& [name, value] : values)
            set(name, value);
    }
    ~ScopedEnvironment() {
        // Backwards, so that a name set twice ends with its first saved value.
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it)
            put(it->first.constData(), it->second ? it->second->constData() : nullptr);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

    // value nullptr unsets name.
    void set(const char* name, const char* value) {
        m_saved.emplace_back(name, qEnvironmentVariableIsSet(name)
                                       ? std::optional<QByteArray>(qgetenv(name))
                                       : std::nullopt);
        put(name, value);
    }

private:
    static void put(const char* name, const char* value) {
        if (value)
            qputenv(name, value);
        else
            qunsetenv(name);
    }

    std::vector<std::pair<QByteArray, std::optional<QByteArray>>> m_saved;
};

} // namespace support
