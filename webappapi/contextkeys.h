#pragma once

#include <QString>

// The names the web server and a web application component agree on: the entries of the
// context Dictionary of a request, of the shared Application Dictionary, of the request
// object with its ServerVariables, and of the context's Server entry. Both sides use these.

namespace bridge::keys {

// The context Dictionary, in the order of its entries.
inline const QString PHYSICAL_SERVER_ROOT = QStringLiteral("PhysicalServerRoot");
inline const QString PHYSICAL_DOCUMENT_ROOT = QStringLiteral("PhysicalDocumentRoot");
inline const QString APPLICATION = QStringLiteral("Application");
inline const QString REQUEST = QStringLiteral("Request");
inline const QString MESSAGES = QStringLiteral("Messages");
inline const QString THEME_FOLDER = QStringLiteral("ThemeFolder");
inline const QString IMAGE_FOLDER = QStringLiteral("ImageFolder");
inline const QString ADMIN_FOLDER = QStringLiteral("AdminFolder");
inline const QString RELATIVE_PATH = QStringLiteral("RelativePath");
inline const QString DEBUG = QStringLiteral("Debug");
inline const QString DEFAULT_USER_MODE = QStringLiteral("DefaultUserMode");
inline const QString SECRET = QStringLiteral("Secret");
inline const QString TEMP_FOLDER = QStringLiteral("TempFolder");
inline const QString SESSION_TIMEOUT = QStringLiteral("SessionTimeout");
inline const QString IN_QUEUE_FOLDER = QStringLiteral("InQueueFolder");
inline const QString OUT_QUEUE_FOLDER = QStringLiteral("OutQueueFolder");
inline const QString SESSION = QStringLiteral("session"); // in lower case, as it always was
inline const QString SERVER = QStringLiteral("Server");
// Set by the component: the address the web server then answers with a 302 to.
inline const QString REDIRECT = QStringLiteral("Redirect");
// Set by the component: the cookies the answer sets, one "Set-Cookie" value per line ("\n"),
// as "name=value; Path=/; HttpOnly". A line holding a control character or a character
// beyond ASCII is not sent.
inline const QString SET_COOKIE = QStringLiteral("SetCookie");

// The web server's entries of the Application Dictionary, written before every request.
inline const QString APPLICATION_FOLDER = QStringLiteral("ApplicationFolder");
inline const QString EXCEL_INSTALLED = QStringLiteral("ExcelInstalled");

// The request object: its form fields, then ServerVariables with these entries.
inline const QString SERVER_VARIABLES = QStringLiteral("ServerVariables");
inline const QString PATH_TRANSLATED = QStringLiteral("PATH_TRANSLATED");
inline const QString SCRIPT_NAME = QStringLiteral("SCRIPT_NAME");
inline const QString HTTP_USER_AGENT = QStringLiteral("HTTP_USER_AGENT");
inline const QString REQUEST_METHOD = QStringLiteral("REQUEST_METHOD");
inline const QString HTTP_COOKIE = QStringLiteral("HTTP_COOKIE"); // every Cookie line, "; "
inline const QString REMOTE_ADDR = QStringLiteral("REMOTE_ADDR"); // the client, past a proxy
// The user the web server detected, "" when anonymous, and how (AUTH_TYPE_*, "" when anonymous).
inline const QString REMOTE_USER = QStringLiteral("REMOTE_USER");
inline const QString AUTH_TYPE = QStringLiteral("AUTH_TYPE");
inline const QString HTTPS = QStringLiteral("HTTPS");             // "on" or "off"
inline const QString REMOTE_HOST = QStringLiteral("REMOTE_HOST"); // the peer's address

// The values of AUTH_TYPE: named by a trusted reverse proxy (its Remote-User), or the local
// account that owns the client's socket on a loopback connection.
inline const QString AUTH_TYPE_PROXY = QStringLiteral("Proxy");
inline const QString AUTH_TYPE_LOCAL = QStringLiteral("Local");

// The context's Server entry.
inline const QString SERVER_VERSION = QStringLiteral("Version");
inline const QString START_TIME = QStringLiteral("StartTime");
inline const QString PORT = QStringLiteral("Port");
inline const QString TOTAL_REQUESTS = QStringLiteral("TotalRequests");
inline const QString INSTANCE_NAME = QStringLiteral("InstanceName");
inline const QString LANGUAGE_CODE = QStringLiteral("LanguageCode");
inline const QString DATA_SERVER_RUNNING = QStringLiteral("DataServerRunning");
inline const QString DATA_SERVER_PROCESS_ID = QStringLiteral("DataServerProcessId");
inline const QString DATA_SERVER_LAST_ALIVE = QStringLiteral("DataServerLastAlive");
inline const QString DATA_SERVER_RESTARTS = QStringLiteral("DataServerRestarts");
inline const QString TRACE_ENTRIES = QStringLiteral("TraceEntries");

} // namespace bridge::keys
