#include "app/adduser.h"

#include "app/passwordinput.h"
#include "common/dictionary.h"
#include "common/errnotext.h"
#include "common/error.h"
#include "common/files.h"
#include "common/text.h"
#include "contract/contract.h"
#include "contract/protocol.h"
#include "core/commandline.h"
#include "core/folders.h"
#include "core/settings.h"
#include "i18n/language.h"
#include "supervision/askonce.h"
#include "webapp/auth/identity.h"
#include "webapp/auth/passwords.h"
#include "webapp/auth/role.h"
#include "webapp/data/accountmessages.h"

#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <optional>

namespace {

const QString ADD_USER = QStringLiteral("adduser");
// The most of a wrong role that is shown back.
constexpr qsizetype MAX_SHOWN = 40;

// What ends the command: its exit code and the line that says why.
struct Refusal {
    int exitCode;
    QString text;
};

// What is said goes to a terminal, maybe: no line breaks, no control characters (an escape
// sequence in a role typed wrongly would reach the terminal).
QString oneLine(QString text) {
    for (QChar& c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char(' ');
    return text.simplified();
}

[[noreturn]] void refuse(int exitCode, const QString& text) {
    throw Refusal{exitCode, oneLine(text)};
}

QString label(const char* id, const common::Value& args = {}) {
    return i18n::Translate(QLatin1String(id), false, args);
}

// The command line's language, as a start chooses it; English when its file cannot be read.
void loadLanguage(const common::DictionaryPtr& options) {
    const auto option = [&options](const char* key) {
        return common::ToText(options->item(QLatin1String(key)));
    };
    i18n::SetLanguageOverrides(option("languagefile"), option("languagefolder"));
    const QString code = option("language").toLower();
    try {
        i18n::LoadLanguage(code.isEmpty() ? i18n::DefaultLanguage() : code);
    } catch (const common::Error&) {
        try {
            i18n::LoadLanguage(QStringLiteral("en"));
        } catch (const common::Error&) {
            // The label ids then stand for their texts.
        }
    }
}

struct Folders {
    QString logs;        // where the data server logs, beside websvr's log
    QString application; // the settings file's ApplicationPath
};

// The folders a start would use, from the settings file it would read.
Folders foldersOf(const common::DictionaryPtr& options) {
    const auto option = [&options](const char* key) {
        return common::ToText(options->item(QLatin1String(key)));
    };
    const QString program = common::ProgramFolder();
    const QString data = core::DataFolderFor(option("datafolder"), program);
    const QString settingsFile = core::SettingsFileFor(
        option("config"), core::ConfigFolderFor(option("configfolder"), data));
    const QString application = core::ReadSettings(settingsFile, program).ApplicationPath;
    if (!QFileInfo(application).isDir())
        refuse(ADDUSER_REFUSED,
               label("cmdAddUserNoApplication", common::Value::Array{application, settingsFile}));
    return {core::GetLogsFolder(data), application};
}

// One request to the application's database; its reply, which is no error.
webapp::DataReply ask(const Folders& folders, const webapp::DataMessage& message) {
    const dataserver::OnceAnswer answer = dataserver::AskOnce(
        common::ProgramFolder(), folders.application, message.xml().toUtf8(),
        {QLatin1String(dataserver::LOGS_FOLDER_VARIABLE) + QLatin1Char('=') + folders.logs});
    if (answer.exitCode == dataserver::ONE_MESSAGE_ANSWERED)
        return webapp::DataReply(QString::fromUtf8(answer.reply));
    QString why = answer.complaint.section(QLatin1Char('\n'), -1);
    if (why.startsWith(QLatin1String("dbsvr: ")))
        why = why.mid(7);
    if (answer.exitCode == dataserver::ONE_MESSAGE_FAILED && !answer.reply.isEmpty()) {
        const webapp::DataReply reply(QString::fromUtf8(answer.reply));
        why = reply.text(dataserver::protocol::MESSAGE) + QStringLiteral(" (") + reply.error() +
              QLatin1Char(')');
    }
    refuse(ADDUSER_NOT_SAVED, label("cmdAddUserFailed", why));
}

QString checkedName(const common::DictionaryPtr& options) {
    const QString name = common::ToText(options->item(ADD_USER)).trimmed();
    if (const char* problem = webapp::UserNameProblem(name); *problem)
        refuse(ADDUSER_REFUSED, label(problem));
    return name;
}

webapp::Role checkedRole(const common::DictionaryPtr& options) {
    const QString given = common::ToText(options->item(QStringLiteral("role")));
    const std::optional<webapp::Role> role = webapp::RoleFromName(given);
    if (!role || !webapp::IsAccountRole(*role))
        refuse(ADDUSER_REFUSED,
               label("cmdAddUserRole", given.size() > MAX_SHOWN
                                           ? given.left(MAX_SHOWN) + QStringLiteral("...")
                                           : given));
    return *role;
}

// The password of standard input; "" to keep the one the user has.
QString checkedPassword() {
    const std::optional<QString> password = ReadPasswordLine(stdin, label("cmdPasswordPrompt"));
    if (!password)
        refuse(ADDUSER_REFUSED, label("cmdPasswordUnread", common::ErrnoText(errno)));
    if (!password->isEmpty())
        if (const char* problem = webapp::PasswordProblem(*password); *problem)
            refuse(ADDUSER_REFUSED, label(problem));
    return *password;
}

// Checks everything given before anything is asked of the database, then saves the user.
QString addUser(const common::DictionaryPtr& options) {
    const QString name = checkedName(options);
    const webapp::Role role = checkedRole(options);
    const Folders folders = foldersOf(options);
    const QString password = checkedPassword();
    const bool exists = webapp::FoundUser(ask(folders, webapp::FindUserMessage(name))).has_value();
    if (password.isEmpty() && !exists)
        refuse(ADDUSER_REFUSED, label("cmdAddUserNeedsPassword"));
    webapp::UserChange change{name, std::nullopt, webapp::RoleName(role), std::nullopt};
    if (!password.isEmpty())
        change.hash = webapp::HashPassword(password);
    const webapp::AuditEntry audit{
        webapp::ProgramAccount(),
        QStringLiteral("local"),
        exists ? QStringLiteral("user-change") : QStringLiteral("user-add"),
        name,
        QStringLiteral("role=") + webapp::RoleName(role) + QStringLiteral(" (command line)"),
        {}};
    const bool created = webapp::UserCreated(ask(folders, webapp::SaveUserMessage(change, audit)));
    return label(created ? "cmdAddUserAdded" : "cmdAddUserChanged",
                 common::Value::Array{name, webapp::RoleName(role)});
}

} // namespace

bool IsAddUserCommand(const QStringList& arguments) {
    return core::ParseCommandLine(core::JoinArguments(arguments))->Exists(ADD_USER);
}

int RunAddUser(const QStringList& arguments) {
    const common::DictionaryPtr options = core::ParseCommandLine(core::JoinArguments(arguments));
    loadLanguage(options);
    try {
        const QString saved = addUser(options);
        std::printf("%s\n", qUtf8Printable(saved));
        std::fflush(stdout);
        return ADDUSER_SAVED;
    } catch (const Refusal& refusal) {
        std::fprintf(stderr, "websvr: %s\n", qUtf8Printable(refusal.text));
        return refusal.exitCode;
    } catch (const common::Error& e) {
        std::fprintf(stderr, "websvr: %s\n", qUtf8Printable(oneLine(e.description())));
        return ADDUSER_NOT_SAVED;
    }
}
