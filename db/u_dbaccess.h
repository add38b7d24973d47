// u_dbaccess.h — the Access helper object TSQLObject, the twin of the MySQL helper of u_db:
// connect to a file by its path, list its tables, run any Jet SQL statement with uniform
// error reporting, read "SELECT @@identity" after each statement that is not a SELECT. The
// conversion wizard's TMsSQL derives from it.
//
// Errors of statements are never raised: they are kept in LastError (until the next
// Connect), passed to OnError, and shown through ShowErrorHook when ShowErrors is on (the
// data layer has no windows; the program installs a hook that shows a message box).
#pragma once

#include "db/ADODB.h"

#include <QStringList>

#include <functional>
#include <memory>

namespace u_dbaccess {

using tablor::TMyQuery;

using TErrorProc = std::function<void(const QString& text)>;

// How a statement failure is shown while ShowErrors is on: a message box titled "SQL Fehler"
// with the information icon. Set once by the program; unset, nothing is shown.
using TShowErrorHook = std::function<void(const QString& title, const QString& text)>;
void setShowErrorHook(TShowErrorHook hook);

// The helper's database file before a caller sets one: "tablor.mdb" in the program's folder.
QString DefaultDatabasePath();

class TSQLObject {
public:
    TSQLObject();
    virtual ~TSQLObject();
    TSQLObject(const TSQLObject&) = delete;
    TSQLObject& operator=(const TSQLObject&) = delete;

    QString DatabasePath;
    int RowCount = 0;
    QChar QuoteOpen = QLatin1Char('[');
    QChar QuoteClose = QLatin1Char(']');
    int LastInsertId = 0;
    QString LastError;
    bool ShowErrors = false;
    QString LastSQL;
    QStringList TableList;
    TErrorProc OnError;
    std::function<void(TSQLObject* Sender)> OnDisconnect;

    tablor::TADOConnection* Connection() const { return m_connection.get(); }
    TMyQuery* ResultQuery() const { return m_query.get(); }
    tablor::TDataSet* ResultSet() const { return m_query.get(); }
    bool Connected() const { return m_connected; }

    // Disconnects, then keeps the path for the next Connect.
    void SetDatabasePath(const QString& path);
    // Sets the connection's state directly (Connect must have set the connection string).
    // Throws EDatabaseError when opening fails.
    void SwitchConnection(bool on);
    // 0 when the file is open, -1 when not ("Verbindung Fehlgeschlagen: " and the reason go
    // to OnError; the reason to LastError). Fills TableList. Never raises.
    int Connect();
    const QStringList& GetTables();
    // Runs one statement; a SELECT (exactly at the first character, any letter case) is
    // opened, anything else executed. Failures go to LastError / OnError / the hook. A failing
    // "SELECT @@identity" after a statement is raised to the caller.
    void Execute(const QString& statement);

private:
    void fail(const QString& message);

    std::unique_ptr<tablor::TADOConnection> m_connection;
    std::unique_ptr<TMyQuery> m_query;
    bool m_connected = false;
};

} // namespace u_dbaccess
