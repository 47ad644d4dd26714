#include "webapp/pages/userspage.h"

#include "webapp/auth/passwords.h"
#include "webapp/forms/formhtml.h"
#include "webapp/forms/formtoken.h"
#include "webapp/pages/accesscheck.h"
#include "webapp/pages/signinpages.h"

namespace webapp {

namespace {

const QString PAGE = QStringLiteral("users");
const QString ACTION = QStringLiteral("action");
const QString USER = QStringLiteral("user");
const QString ROLE = QStringLiteral("role");
const QString& NEW_PASSWORD = NEW_PASSWORD_FIELD;
const QString& REPEAT = REPEAT_PASSWORD_FIELD;
const QString TOKEN = QStringLiteral("token");
const QString DONE = QStringLiteral("done");
const QString COUNT = QStringLiteral("count");
const QString ADD = QStringLiteral("user-add");

constexpr Role ACCOUNT_ROLES[] = {Role::Reader, Role::Editor, Role::Admin};

// One token for every button of the page, bound to the administrator's session (or detected
// name): a page of another site, of an ended session or of an earlier run cannot act.
QString actionToken(const PageEnvironment& env) {
    return ActionToken(env.secret(), PAGE, env.identity.formBinding());
}

Html message(const Html& text, Markup cssClass) {
    return "<p class=\"" + Html(cssClass) + "\" role=\"alert\">" + text + "</p>\n";
}

// A stored role as the page shows it: in the page's language, or as stored when it is none
// of the account roles.
QString storedRoleText(const PageEnvironment& env, const QString& stored) {
    const std::optional<Role> role = RoleFromName(stored);
    return role && IsAccountRole(*role) ? RoleText(env, *role) : stored;
}

// The whole state of the page, read before anything is drawn.
struct UsersContent {
    QList<UserRecord> users;
    bool application = false; // accounts with passwords
    QString token;
};

Html roleSelect(const PageEnvironment& env, const QString& current, const QString& id = {}) {
    Html html = "<select name=\"role\"" +
                (id.isEmpty() ? Html() : Html(" id=\"") + Html::text(id) + "\"") +
                " aria-label=\"" + env.html("webUsersRole") + "\">";
    for (const Role role : ACCOUNT_ROLES)
        html += "<option value=\"" + Html::text(RoleName(role)) + "\"" +
                (RoleFromName(current) == role ? Markup(" selected") : Markup("")) + ">" +
                Html::text(RoleText(env, role)) + "</option>";
    return html + "</select>";
}

Html passwordInput(const PageEnvironment& env, const QString& name, const char* label,
                   const QString& id = {}) {
    return "<input" + (id.isEmpty() ? Html() : Html(" id=\"") + Html::text(id) + "\"") +
           " name=\"" + Html::text(name) +
           "\" type=\"password\" autocomplete=\"new-password\" required aria-label=\"" +
           env.html(label) + "\">";
}

// A button, with its controls, that posts one action on one user.
Html actionForm(const PageEnvironment& env, const UsersContent& content, const char* action,
                const QString& user, const Html& controls, const char* button) {
    return FormStart(env.root(), "post", "useraction") + HiddenInput(QStringLiteral("page"), PAGE) +
           HiddenInput(ACTION, QString::fromLatin1(action)) + HiddenInput(USER, user) +
           HiddenInput(TOKEN, content.token) + controls + "<button type=\"submit\">" +
           env.html(button) + "</button></form>";
}

Html yesNo(const PageEnvironment& env, bool value) {
    return env.html(value ? "webYes" : "webNo");
}

Html renderUser(const PageEnvironment& env, const UsersContent& content, const UserRecord& user) {
    Html actions =
        actionForm(env, content, "user-role", user.name, roleSelect(env, user.role),
                   "webUsersChangeRole") +
        (user.disabled
             ? actionForm(env, content, "user-enable", user.name, {}, "webUsersEnable")
             : actionForm(env, content, "user-disable", user.name, {}, "webUsersDisable"));
    if (content.application)
        actions += actionForm(env, content, "user-password", user.name,
                              passwordInput(env, NEW_PASSWORD, "webPasswordNew") +
                                  passwordInput(env, REPEAT, "webPasswordRepeat"),
                              "webUsersSetPassword") +
                   actionForm(env, content, "user-signout", user.name, {}, "webUsersSignOut");
    return "<tr><td>" + Html::text(user.name) + "</td><td>" +
           Html::text(storedRoleText(env, user.role)) + "</td><td>" + yesNo(env, user.disabled) +
           "</td><td>" + yesNo(env, user.hasPassword) + "</td><td>" + Html::text(user.created) +
           "</td><td>" + Html::text(user.changed) + "</td><td class=\"actions\">" + actions +
           "</td></tr>\n";
}

Html renderUsers(const PageEnvironment& env, const UsersContent& content) {
    Html html("<div class=\"scroll\"><table class=\"data users\"><thead><tr>");
    for (const char* label :
         {"webUserName", "webUsersRole", "webUsersDisabled", "webUsersHasPassword",
          "webUsersCreated", "webUsersChanged", "webUsersActions"})
        html += "<th>" + env.html(label) + "</th>";
    html += Html("</tr></thead>\n<tbody>\n");
    for (const UserRecord& user : content.users)
        html += renderUser(env, content, user);
    if (content.users.isEmpty())
        html +=
            "<tr><td class=\"empty\" colspan=\"7\">" + env.html("webUsersNone") + "</td></tr>\n";
    return html + "</tbody></table></div>\n";
}

// After an add that was refused, the name and role typed stay (never the passwords).
Html renderAddForm(const PageEnvironment& env, const UsersContent& content) {
    const bool again = env.field(ACTION) == ADD;
    Html fields =
        FieldRow(QStringLiteral("add-user"), env.html("webUserName"),
                 "<input id=\"add-user\" name=\"user\" type=\"text\" autocomplete=\"off\" "
                 "required value=\"" +
                     Html::text(again ? env.field(USER) : QString()) + "\">",
                 {}) +
        FieldRow(QStringLiteral("add-role"), env.html("webUsersRole"),
                 roleSelect(env, again ? env.field(ROLE) : RoleName(Role::Reader),
                            QStringLiteral("add-role")),
                 {});
    if (content.application)
        fields +=
            FieldRow(
                QStringLiteral("add-password"), env.html("webPasswordNew"),
                passwordInput(env, NEW_PASSWORD, "webPasswordNew", QStringLiteral("add-password")),
                {}) +
            FieldRow(QStringLiteral("add-repeat"), env.html("webPasswordRepeat"),
                     passwordInput(env, REPEAT, "webPasswordRepeat", QStringLiteral("add-repeat")),
                     {});
    return "<h2>" + env.html("webUsersAdd") + "</h2>\n" + FormStart(env.root(), "post", "entry") +
           HiddenInput(QStringLiteral("page"), PAGE) + HiddenInput(ACTION, ADD) +
           HiddenInput(TOKEN, content.token) + "\n" + fields +
           FormEnd(env.html("webUsersAddButton"));
}

Response usersPage(const PageEnvironment& env, const Html& above = {}, int status = 200) {
    const UsersContent content{env.accounts.listUsers(), IsApplicationMode(env.context),
                               actionToken(env)};
    const Html mode =
        "<p class=\"detail\">" +
        env.html(content.application ? "webUserModeApplication" : "webUserModeDetect") + "</p>\n";
    return env.page(env.label("webUsersTitle"),
                    mode + above + renderUsers(env, content) + renderAddForm(env, content),
                    QStringLiteral("admin"), status);
}

// What the redirect after an action says was done.
Html doneNote(const PageEnvironment& env) {
    static const QHash<QString, const char*> notes = {
        {ADD, "webUsersAdded"},
        {QStringLiteral("user-role"), "webUsersRoleChanged"},
        {QStringLiteral("user-disable"), "webUsersDisabledNote"},
        {QStringLiteral("user-enable"), "webUsersEnabledNote"},
        {QStringLiteral("user-password"), "webUsersPasswordSet"},
        {QStringLiteral("user-signout"), "webUsersSignedOut"},
    };
    const char* label = notes.value(env.field(DONE));
    if (!label)
        return {};
    return message(env.html(label, common::Value::Array{env.field(USER), env.field(COUNT)}),
                   "success");
}

// What an action did: nothing, for the reason its label gives, or its change.
struct Outcome {
    const char* problem = ""; // label id; "" when done
    int status = 200;
    QString user;   // the account acted on
    int count = -1; // the sessions ended, when that is what was done
};

Outcome refused(const char* problem, int status = 400) {
    return {problem, status, {}, -1};
}

std::optional<Role> chosenRole(const PageEnvironment& env) {
    const std::optional<Role> role = RoleFromName(env.field(ROLE));
    if (!role || !IsAccountRole(*role))
        return std::nullopt;
    return role;
}

// An administrator who can administer: enabled, and in the application user mode able to
// sign in.
bool usableAdministrator(const UserRecord& user, bool application) {
    return RoleFromName(user.role) == Role::Admin && !user.disabled &&
           (!application || user.hasPassword);
}

// Whether target is the last administrator who can administer the application.
bool lastAdministrator(const PageEnvironment& env, const UserRecord& target) {
    const bool application = IsApplicationMode(env.context);
    if (!usableAdministrator(target, application))
        return false;
    for (const UserRecord& user : env.accounts.listUsers())
        if (user.name != target.name && usableAdministrator(user, application))
            return false;
    return true;
}

Outcome addUser(const PageEnvironment& env) {
    const QString name = env.field(USER).trimmed();
    if (const char* problem = UserNameProblem(name); *problem)
        return refused(problem);
    const std::optional<Role> role = chosenRole(env);
    if (!role)
        return refused("webUsersRoleInvalid");
    const bool application = IsApplicationMode(env.context);
    if (application)
        if (const char* problem = NewPasswordProblem(env); *problem)
            return refused(problem);
    if (env.accounts.findUser(name))
        return refused("webUsersExists", 409);
    // Without passwords (the detect user mode) an account only gives a detected name its role.
    UserChange change{name, std::nullopt, RoleName(*role), false};
    if (application)
        change.hash = HashPassword(env.field(NEW_PASSWORD));
    env.accounts.saveUser(change, AuditOf(env, ADD, name, QStringLiteral("role=") + *change.role));
    return {"", 200, name, -1};
}

Outcome changeRole(const PageEnvironment& env, const UserRecord& target) {
    const std::optional<Role> role = chosenRole(env);
    if (!role)
        return refused("webUsersRoleInvalid");
    if (*role != Role::Admin && lastAdministrator(env, target))
        return refused("webUsersLastAdmin", 409);
    const QString name = RoleName(*role);
    if (RoleFromName(target.role) != role)
        env.accounts.saveUser({target.name, std::nullopt, name, std::nullopt},
                              AuditOf(env, QStringLiteral("user-role"), target.name,
                                      QStringLiteral("role=%1 (was %2)").arg(name, target.role)));
    return {"", 200, target.name, -1};
}

Outcome disable(const PageEnvironment& env, const UserRecord& target) {
    if (lastAdministrator(env, target))
        return refused("webUsersLastAdmin", 409);
    // The data server ends the user's sessions with it.
    if (!target.disabled)
        env.accounts.saveUser({target.name, std::nullopt, std::nullopt, true},
                              AuditOf(env, QStringLiteral("user-disable"), target.name));
    return {"", 200, target.name, -1};
}

Outcome enable(const PageEnvironment& env, const UserRecord& target) {
    if (target.disabled)
        env.accounts.saveUser({target.name, std::nullopt, std::nullopt, false},
                              AuditOf(env, QStringLiteral("user-enable"), target.name));
    return {"", 200, target.name, -1};
}

Outcome setPassword(const PageEnvironment& env, const UserRecord& target) {
    if (!IsApplicationMode(env.context))
        return refused("webUsersNoPasswords");
    if (const char* problem = NewPasswordProblem(env); *problem)
        return refused(problem);
    // The data server ends the user's sessions with the change.
    env.accounts.saveUser(
        {target.name, HashPassword(env.field(NEW_PASSWORD)), std::nullopt, std::nullopt},
        AuditOf(env, QStringLiteral("user-password"), target.name));
    return {"", 200, target.name, -1};
}

Outcome endSessions(const PageEnvironment& env, const UserRecord& target) {
    const int count = env.accounts.closeSessionsOf(
        target.name, AuditOf(env, QStringLiteral("user-signout"), target.name));
    return {"", 200, target.name, count};
}

Outcome perform(const PageEnvironment& env, const QString& action) {
    using Change = Outcome (*)(const PageEnvironment&, const UserRecord&);
    static const QHash<QString, Change> changes = {
        {QStringLiteral("user-role"), changeRole},
        {QStringLiteral("user-disable"), disable},
        {QStringLiteral("user-enable"), enable},
        {QStringLiteral("user-password"), setPassword},
        {QStringLiteral("user-signout"), endSessions},
    };
    if (action == ADD)
        return addUser(env);
    const Change change = changes.value(action);
    if (!change)
        return refused("webUsersUnknownAction");
    const std::optional<UserRecord> target = env.accounts.findUser(env.field(USER));
    if (!target)
        return refused("webUsersUnknown", 404);
    return change(env, *target);
}

} // namespace

QString RoleText(const PageEnvironment& env, Role role) {
    switch (role) {
    case Role::Reader:
        return env.label("webRoleReader");
    case Role::Editor:
        return env.label("webRoleEditor");
    case Role::Admin:
        return env.label("webRoleAdmin");
    default:
        return RoleName(role);
    }
}

Response UsersPage(const PageEnvironment& env) {
    if (env.identity.role < Role::Admin)
        return RefusedPage(env);
    if (!env.isPost())
        return usersPage(env, doneNote(env));
    if (!IsValidActionToken(env.secret(), PAGE, env.identity.formBinding(), env.field(TOKEN)))
        return usersPage(env, message(env.html("webSignInAgain"), "warning"), 403);
    const QString action = env.field(ACTION);
    const Outcome outcome = perform(env, action);
    if (*outcome.problem)
        return usersPage(env, ErrorSummary(env.html(outcome.problem, env.field(USER))),
                         outcome.status);
    Link back(PAGE);
    back.with(DONE, action).keep(USER, outcome.user);
    if (outcome.count >= 0)
        back.with(COUNT, outcome.count);
    return Response::redirectTo(back.address(env.root()));
}

} // namespace webapp
