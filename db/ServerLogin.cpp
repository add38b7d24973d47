#include "db/ServerLogin.h"

#include "db/ZMySql.h"

namespace tablor {

void setServerLogin(TZMySqlDatabase& db, const ServerLogin& login) {
    db.Host = login.host;
    db.Port = login.port;
    db.Login = login.user;
    db.Password = login.password;
    db.Database = login.database;
}

} // namespace tablor
