#pragma once

#include "webapp/rendering/html.h"
#include "webapp/rendering/labels.h"

#include <QString>

namespace webapp {

class RequestContext;

// What the frame shows of the user: the menu entries they may use (Charts with Queries), who
// they are, and how to sign in or out.
struct FrameUser {
    QString name; // "" for anonymous
    bool tables = true, queries = true, forms = true, admin = false;
    bool signIn = false;   // offer a sign-in link (accounts with passwords, not signed in)
    QString signInReturn;  // where the sign-in goes on to ("" for home)
    bool signedIn = false; // offer sign-out and the change of password
    QString signOutToken;  // the sign-out button's token
};

// The common frame of every page: title, menu (Home, Tables, Queries, Charts, Forms,
// Administration, Help: those the user may use), the user's name with sign-in or sign-out,
// the page, and a footer with product and version; the web root's style sheet and logo.
// Every text comes from the labels.
class Frame final {
public:
    Frame(const Labels& labels, const RequestContext& context, FrameUser user = {});

    // A whole HTML document. title is plain text. helpContext names the help topic the
    // menu's Help link opens.
    Html render(const QString& title, const Html& content, const QString& helpContext = {}) const;

    // The address of the help topic (the desktop window's help address form).
    static Link helpLink(const QString& context);

private:
    Html userArea() const;

    const Labels& m_labels;
    const RequestContext& m_context;
    FrameUser m_user;
};

} // namespace webapp
