// Where and as whom a MySQL connection logs in: the five settings that a server profile, a
// command line or a test gives, put on a connection in one call.
#pragma once

#include <QString>

namespace tablor {

class TZMySqlDatabase;

struct ServerLogin {
    QString host;
    QString port = QStringLiteral("3306");
    QString user;
    QString password;
    QString database; // empty: none chosen
};

// Sets the connection's host, port, login, password and database for its next Connect.
void setServerLogin(TZMySqlDatabase& db, const ServerLogin& login);

} // namespace tablor
