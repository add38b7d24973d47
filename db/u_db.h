// u_db.h — the MySQL helper object TSQLObject and its unit functions. The conversion
// wizard uses it for every MySQL source and target: connect with a parameter record, list
// the tables, run any statement with the backquote retries and uniform error reporting
// ("SQL Fehler: %s"), and turn values into SQL literals.
//
// The Access helper of the same name lives in namespace u_dbaccess; both expose the same
// operation names.
//
// Ownership: the helper owns its result query always, and the connection and transaction
// when it created them. A connection passed in must outlive the helper; the helper hooks
// its AfterConnect/AfterDisconnect and gives the previous handlers back when destroyed.
//
// The optional library "hostauth" (hostauth.so beside the program on this platform) is
// loaded with dlopen; its function `void GetHostAuth(unsigned char* block)` fills the
// 1280-byte defaults block (five length-prefixed strings, UTF-8).
#pragma once

#include "db/DbError.h"
#include "db/ZMySql.h"

#include <QStringList>

#include <array>
#include <functional>
#include <memory>

namespace u_db {

using tablor::TZMySqlDatabase;
using tablor::TZMySqlQuery;
using tablor::TZMySqlTransact;

// Current connection parameters, in this order.
struct TConnectionRecord {
    QString Host;
    QString Login;
    QString Password;
    QString Database;
    QString Port;
};

// The defaults block in the form GetHostAuth delivers it.
//   OFFSET  SIZE  FIELD
//   0       256   login     (length byte 0..255, then the characters)
//   256     256   password
//   512     256   host
//   768     256   database
//   1024    256   port as text
struct THostAuthBlock {
    static constexpr int kSize = 1280;
    static constexpr int kLogin = 0, kPassword = 256, kHost = 512, kDatabase = 768, kPort = 1024;
    std::array<unsigned char, kSize> bytes{};

    QString field(int offset) const;
    void setField(int offset, const QString& value); // truncated to 255 bytes
};

// The connection class the helper creates for itself.
class TSQLConnection : public TZMySqlDatabase {};

using TErrorProc = std::function<void(const QString& text)>;

class TSQLObject {
public:
    // Either argument may be null; the helper then creates and owns its own.
    explicit TSQLObject(TZMySqlDatabase* connection = nullptr, TZMySqlTransact* transaction = nullptr);
    virtual ~TSQLObject();
    TSQLObject(const TSQLObject&) = delete;
    TSQLObject& operator=(const TSQLObject&) = delete;

    TConnectionRecord ConnectionRecord;
    int RowCount = 0;
    QChar QuoteOpen = QLatin1Char('`');
    QChar QuoteClose = QLatin1Char('`');
    int LastInsertId = 0;
    QString LastError;
    bool RaiseErrors = true;
    QString LastSQL;
    QStringList TableList;
    TErrorProc OnError;
    std::function<void(TSQLObject* Sender)> OnConnect;
    std::function<void(TSQLObject* Sender)> OnDisconnect;

    TZMySqlQuery* ResultQuery() const { return m_query.get(); }
    TZMySqlDatabase* Connection() const { return m_connection; }
    TZMySqlTransact* Transaction() const { return m_transaction; }
    bool Connected() const { return m_connected; }
    const THostAuthBlock& Defaults() const { return m_defaults; }
    bool HostAuthLoaded() const { return m_getHostAuth != nullptr; }

    void SetDatabaseName(const QString& name);
    // 0 on success, -1 on failure (only while RaiseErrors is off; otherwise a failure
    // raises "SQL Fehler: %s"). Fills TableList from "SHOW TABLES".
    int Connect();
    void SwitchConnection(bool on);
    const QStringList& GetTables();
    // Runs one statement; see the source for the retry rules. Results are left in
    // ResultQuery, RowCount, LastInsertId and LastError.
    void Execute(const QString& statement);
    // SQL literal of a value: NULL, decimal integers, floating values with a point,
    // quoted dates, times and escaped strings, bytes as a hexadecimal literal.
    QString ValueToSql(const QVariant& value) const;

private:
    void fail(const tablor::EDatabaseError& error, bool raise);
    void dropLostConnection(const tablor::EDatabaseError& error);

    bool m_ownsConnection = false;
    bool m_ownsTransaction = false;
    TZMySqlDatabase* m_connection = nullptr;
    std::unique_ptr<TZMySqlQuery> m_query;
    TZMySqlTransact* m_transaction = nullptr;
    bool m_connected = false;
    THostAuthBlock m_defaults;
    void* m_hostAuthModule = nullptr;
    void (*m_getHostAuth)(unsigned char*) = nullptr;
    tablor::TZConnectionEvent m_prevAfterConnect, m_prevAfterDisconnect;
};

// "'#YYYY-MM-DD HH:MM:SS#'" (quotes and hash marks included). The value is the program's
// date-time number (days since 1899-12-30); exactly 0 writes zeros in all six places.
QString DateTimeToSql(double value);
// The same for a date-time; an invalid one writes zeros.
QString DateTimeToSql(const QDateTime& value);
// A single-precision value in the general format with up to 15 significant digits of its
// widened value and a point as separator under any locale: 0.1 gives 0.100000001490116.
QString FloatToSql(float value);

// Where the helper looks for the optional library: hostauth.so in the program's folder,
// unless a path was set (tests point it at a library they build).
QString HostAuthLibraryPath();
void setHostAuthLibraryPath(const QString& path);

} // namespace u_db
