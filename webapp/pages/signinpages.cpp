#include "webapp/pages/signinpages.h"

#include "common/text.h"
#include "webapp/auth/passwords.h"
#include "webapp/auth/sessioncookie.h"
#include "webapp/forms/formhtml.h"
#include "webapp/forms/formtoken.h"
#include "webapp/pages/accesscheck.h"
#include "webapp/pages/errorpages.h"
#include "webappapi/adminkey.h"

namespace webapp {

namespace {

const QString USER = QStringLiteral("user");
const QString PASSWORD = QStringLiteral("password");
const QString& NEW_PASSWORD = NEW_PASSWORD_FIELD;
const QString& REPEAT = REPEAT_PASSWORD_FIELD;
const QString TOKEN = QStringLiteral("token");
const QString NEXT = QStringLiteral("next");
const QString CODE = QStringLiteral("code");

// Where to go after signing in: an address of this application only, never another site.
QString nextAddress(const PageEnvironment& env) {
    const QString home = env.root() + QLatin1Char('/');
    const QString next = env.field(NEXT);
    if (!next.startsWith(home) || next.startsWith(QStringLiteral("//")) ||
        next.contains(QLatin1Char('\\')))
        return home;
    for (const QChar c : next)
        if (c.unicode() < 0x21 || c.unicode() == 0x7F)
            return home;
    return next;
}

Html message(const Html& text, Markup cssClass) {
    return "<p class=\"" + Html(cssClass) + "\" role=\"alert\">" + text + "</p>\n";
}

struct Input {
    QString name;
    const char* label;
    Markup type;
    Markup autocomplete;
    QString value = {};
};

Html inputs(const PageEnvironment& env, const QList<Input>& fields) {
    Html html;
    for (const Input& f : fields)
        html +=
            FieldRow(f.name, env.html(f.label),
                     "<input id=\"" + Html::text(f.name) + "\" name=\"" + Html::text(f.name) +
                         "\" type=\"" + Html(f.type) + "\" autocomplete=\"" + Html(f.autocomplete) +
                         "\" required value=\"" + Html::text(f.value) + "\">",
                     {});
    return html;
}

// A form posted to page: the address of a post is not read, its fields say where it goes.
Html form(const PageEnvironment& env, const QString& page, const Html& fields, const char* button) {
    return FormStart(env.root(), "post", "account") + HiddenInput(QStringLiteral("page"), page) +
           "\n" + fields + FormEnd(env.html(button));
}

Response signInForm(const PageEnvironment& env, const Html& above = {}, int status = 200) {
    const Html fields =
        inputs(env, {{USER, "webUserName", "text", "username", env.field(USER)},
                     {PASSWORD, "webPassword", "password", "current-password"}}) +
        HiddenInput(TOKEN, ActionToken(env.secret(), QStringLiteral("signin"), {})) +
        HiddenInput(NEXT, nextAddress(env));
    Response r = env.page(env.label("webSignInTitle"),
                          above + form(env, QStringLiteral("signin"), fields, "webSignInButton"),
                          QStringLiteral("signin"), status);
    return r;
}

Response withRetryAfter(Response r, int seconds) {
    r.headers.append({QByteArrayLiteral("Retry-After"), QByteArray::number(std::max(seconds, 1))});
    return r;
}

// Opens a session for user and answers with its cookie, going on to next.
Response openSession(const PageEnvironment& env, const QString& user, const QString& next,
                     const AuditEntry& audit) {
    // A session the browser had is not carried over: signing in gives a new id.
    if (!env.identity.sessionKey.isEmpty())
        env.accounts.closeSession(env.identity.sessionKey, std::nullopt);
    const QString id = NewSessionId();
    const qint64 idle =
        qint64(std::max(0, int(common::ToLong(env.context.value(bridge::keys::SESSION_TIMEOUT))))) *
        60;
    env.accounts.openSession(SessionKey(id), user, idle, SESSION_MAX_SECONDS, audit);
    Response r = Response::redirectTo(next);
    r.headers.append(
        {QByteArrayLiteral("Set-Cookie"), SessionCookie(id, env.context.secure()).toLatin1()});
    return r;
}

enum class Check { Right, Wrong, Wait, Busy };

struct PasswordCheck {
    Check result = Check::Wrong;
    std::optional<UserRecord> account;
    int waitSeconds = 0;
};

// Checks a password as sign-in does: slowed after failures, bounded by the hashing gate, the
// same work for an unknown account as for a known one.
PasswordCheck checkPassword(const PageEnvironment& env, const QString& name,
                            const QString& password) {
    PasswordCheck check;
    const QString address = ClientAddress(env.context);
    SignInThrottle& throttle = env.application.signInThrottle();
    if ((check.waitSeconds = throttle.waitSeconds(name, address)) > 0) {
        check.result = Check::Wait;
        return check;
    }
    if (*UserNameProblem(name) || password.size() > PasswordPolicy::MAX_LENGTH) {
        throttle.failed(name, address);
        return check;
    }
    check.account = env.accounts.findUser(name.trimmed());
    const bool usable = check.account && !check.account->disabled &&
                        !check.account->hash.isEmpty() &&
                        RoleFromName(check.account->role).has_value();
    bool verified = false;
    {
        const SignInGate::Slot slot(env.application.signInGate());
        if (!slot) {
            check.result = Check::Busy;
            return check;
        }
        const QString& hash = usable ? check.account->hash : DecoyHash();
        env.application.hashing().run(
            [&verified, &hash, &password] { verified = VerifyPassword(hash, password); });
    }
    if (verified && usable) {
        throttle.succeeded(name, address);
        check.result = Check::Right;
    } else {
        throttle.failed(name, address);
    }
    return check;
}

Response refusal(const PageEnvironment& env, const PasswordCheck& check,
                 const std::function<Response(const Html&, int)>& again) {
    switch (check.result) {
    case Check::Wait:
        return withRetryAfter(
            again(ErrorSummary(env.html("webSignInWait", check.waitSeconds)), 429),
            check.waitSeconds);
    case Check::Busy:
        return withRetryAfter(again(ErrorSummary(env.html("webSignInBusy")), 503), 1);
    default:
        return again(ErrorSummary(env.html("webSignInWrong")), 200);
    }
}

// The answer to a check that did not find the password right, held back by the web server
// for REFUSAL_HOLD_MS.
Response refusedCheck(const PageEnvironment& env, const PasswordCheck& check,
                      const std::function<Response(const Html&, int)>& again) {
    Response r = refusal(env, check, again);
    r.holdMs = REFUSAL_HOLD_MS;
    return r;
}

bool noApplicationAccounts(const PageEnvironment& env) {
    return !IsApplicationMode(env.context);
}

Response detectModePage(const PageEnvironment& env) {
    return env.page(env.label("webSignInTitle"), message(env.html("webSignInDetect"), "note"),
                    QStringLiteral("signin"), 404);
}

} // namespace

const char* NewPasswordProblem(const PageEnvironment& env) {
    const QString password = env.field(NEW_PASSWORD);
    if (const char* problem = PasswordProblem(password); *problem)
        return problem;
    return password == env.field(REPEAT) ? "" : "webPasswordMismatch";
}

QString SafeAuditText(const QString& text, qsizetype most) {
    QString safe = text.left(most);
    for (QChar& c : safe)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QChar(0xFFFD);
    return safe;
}

AuditEntry AuditOf(const PageEnvironment& env, const QString& action, const QString& object,
                   const QString& detail) {
    return {env.identity.user, ClientAddress(env.context), action, object, detail, {}};
}

Response SignInPage(const PageEnvironment& env) {
    if (noApplicationAccounts(env))
        return detectModePage(env);
    if (!env.isPost())
        return env.identity.signedIn() ? Response::redirectTo(nextAddress(env)) : signInForm(env);
    if (!IsValidActionToken(env.secret(), QStringLiteral("signin"), {}, env.field(TOKEN)))
        return signInForm(env, message(env.html("webSignInAgain"), "warning"));
    const QString name = env.field(USER);
    const PasswordCheck check = checkPassword(env, name, env.field(PASSWORD));
    if (check.result != Check::Right) {
        // Refused ones too, with why: they are guesses as well.
        const QString why = check.result == Check::Wait   ? QStringLiteral("refused: back-off")
                            : check.result == Check::Busy ? QStringLiteral("refused: busy")
                                                          : QString();
        env.application.failedSignIns().add({SafeAuditText(name, MAX_USER_NAME * 4),
                                             ClientAddress(env.context),
                                             QStringLiteral("signin-failed"),
                                             {},
                                             why,
                                             {}});
        return refusedCheck(env, check, [&env](const Html& above, int status) {
            return signInForm(env, above, status);
        });
    }
    const QString user = check.account->name;
    // A hash made with a cost of before is made again now that the password is known.
    if (NeedsRehash(check.account->hash))
        env.accounts.saveUser({user, HashPassword(env.field(PASSWORD)), {}, {}}, std::nullopt);
    return openSession(env, user, nextAddress(env),
                       {user, ClientAddress(env.context), QStringLiteral("signin"), {}, {}, {}});
}

Response SignOutPage(const PageEnvironment& env) {
    const QString home = env.root() + QLatin1Char('/');
    if (!env.identity.signedIn())
        return Response::redirectTo(home);
    const QString binding = env.identity.formBinding();
    if (!env.isPost() ||
        !IsValidActionToken(env.secret(), QStringLiteral("signout"), binding, env.field(TOKEN)))
        return env.page(
            env.label("webSignOutTitle"),
            form(env, QStringLiteral("signout"),
                 HiddenInput(TOKEN, ActionToken(env.secret(), QStringLiteral("signout"), binding)),
                 "webMenuSignOut"),
            QStringLiteral("signin"));
    env.accounts.closeSession(env.identity.sessionKey, AuditOf(env, QStringLiteral("signout")));
    Response r = Response::redirectTo(home);
    r.headers.append(
        {QByteArrayLiteral("Set-Cookie"), SessionCookie({}, env.context.secure()).toLatin1()});
    return r;
}

namespace {

Response passwordForm(const PageEnvironment& env, const Html& above = {}, int status = 200) {
    const Html fields =
        inputs(env, {{PASSWORD, "webPasswordCurrent", "password", "current-password"},
                     {NEW_PASSWORD, "webPasswordNew", "password", "new-password"},
                     {REPEAT, "webPasswordRepeat", "password", "new-password"}}) +
        HiddenInput(TOKEN, ActionToken(env.secret(), QStringLiteral("password"),
                                       env.identity.formBinding()));
    return env.page(env.label("webPasswordTitle"),
                    above + form(env, QStringLiteral("password"), fields, "webSave"),
                    QStringLiteral("signin"), status);
}

} // namespace

Response PasswordPage(const PageEnvironment& env) {
    if (noApplicationAccounts(env))
        return detectModePage(env);
    if (!env.identity.signedIn())
        return RefusedPage(env);
    if (!env.isPost())
        return env.field(QStringLiteral("done")) == QLatin1String("1")
                   ? passwordForm(env, message(env.html("webPasswordChanged"), "note"))
                   : passwordForm(env);
    if (!IsValidActionToken(env.secret(), QStringLiteral("password"), env.identity.formBinding(),
                            env.field(TOKEN)))
        return passwordForm(env, message(env.html("webSignInAgain"), "warning"), 403);
    if (const char* problem = NewPasswordProblem(env); *problem)
        return passwordForm(env, ErrorSummary(env.html(problem)), 400);
    const PasswordCheck check = checkPassword(env, env.identity.user, env.field(PASSWORD));
    if (check.result != Check::Right)
        return refusedCheck(env, check, [&env](const Html& above, int status) {
            return passwordForm(env, above, status);
        });
    // Every session of the user ends with the old password; this browser gets a new one.
    env.accounts.saveUser({env.identity.user, HashPassword(env.field(NEW_PASSWORD)), {}, {}},
                          AuditOf(env, QStringLiteral("password"), env.identity.user));
    return openSession(env, env.identity.user,
                       Link(QStringLiteral("password"))
                           .with(QStringLiteral("done"), QStringLiteral("1"))
                           .address(env.root()),
                       AuditOf(env, QStringLiteral("signin")));
}

namespace {

bool hasAdministrator(const PageEnvironment& env) {
    for (const UserRecord& user : env.accounts.listUsers())
        if (user.role == RoleName(Role::Admin) && user.hasPassword && !user.disabled)
            return true;
    return false;
}

Response setupForm(const PageEnvironment& env, const Html& above = {}, int status = 200) {
    const Html fields = message(env.html("webSetupIntro"), "note") +
                        inputs(env, {{USER, "webUserName", "text", "username", env.field(USER)},
                                     {NEW_PASSWORD, "webPasswordNew", "password", "new-password"},
                                     {REPEAT, "webPasswordRepeat", "password", "new-password"}}) +
                        HiddenInput(CODE, env.field(CODE));
    return env.page(env.label("webSetupTitle"),
                    above + form(env, QStringLiteral("setup"), fields, "webSetupButton"),
                    QStringLiteral("signin"), status);
}

} // namespace

Response SetupPage(const PageEnvironment& env) {
    if (noApplicationAccounts(env))
        return detectModePage(env);
    const QString expected = bridge::SetupKey(env.secret());
    if (expected.isEmpty() || !ConstantTimeEquals(env.field(CODE), expected))
        return ForbiddenPage(env, env.label("webSetupCodeWrong"));
    if (hasAdministrator(env))
        return env.page(env.label("webSetupTitle"), message(env.html("webSetupDone"), "note"),
                        QStringLiteral("signin"), 409);
    if (!env.isPost())
        return setupForm(env);
    const QString name = env.field(USER).trimmed();
    const char* problem = UserNameProblem(name);
    if (!*problem)
        problem = NewPasswordProblem(env);
    if (*problem)
        return setupForm(env, ErrorSummary(env.html(problem)), 400);
    env.accounts.saveUser(
        {name, HashPassword(env.field(NEW_PASSWORD)), RoleName(Role::Admin), false},
        AuditEntry{name,
                   ClientAddress(env.context),
                   QStringLiteral("user-add"),
                   name,
                   QStringLiteral("role=admin (set-up)"),
                   {}});
    return openSession(env, name, Link(QStringLiteral("admin")).address(env.root()),
                       {name, ClientAddress(env.context), QStringLiteral("signin"), {}, {}, {}});
}

} // namespace webapp
