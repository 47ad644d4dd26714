#pragma once

#include <QString>
#include <exception>
#include <string>

namespace common {

// Error numbers the program raises itself.
inline constexpr int ERR_CANNOT_CREATE = 429; // component class not available
inline constexpr int ERR_PROGRAM = 1000;      // the program's own failures
inline constexpr int ERR_LANGUAGE = 1100;     // language file cannot be loaded

// The one error type of the program: a number, a source and a description.
// Raised as an exception and caught at exactly one boundary per event handler.
class Error final : public std::exception {
public:
    explicit Error(int number, QString description, QString source = {});

    int number() const { return m_number; }
    const QString& source() const { return m_source; }
    const QString& description() const { return m_description; }

    // Same number and source, with the caller's words in front of the description.
    Error wrapped(const QString& prefix) const;

    const char* what() const noexcept override { return m_what.c_str(); }

private:
    int m_number = 0;
    QString m_source;
    QString m_description;
    std::string m_what;
};

} // namespace common
