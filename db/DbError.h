// DbError.h — the exception every data-access failure travels as. Its what() is the
// server's or client library's UTF-8 text, or a sentence of ours saying what failed; its
// kind says what sort of failure it is, so that a caller reacts to the kind, not the text.
#pragma once

#include <QString>

#include <optional>
#include <stdexcept>
#include <string>

namespace tablor {

class EDatabaseError : public std::runtime_error {
public:
    enum class Kind {
        General,      // one of ours; the sentence says what failed
        Server,       // the MySQL server or client library refused; ErrorCode() has its number
        Io,           // the file cannot be read or written (permissions, disk full)
        Damaged,      // the file is damaged or is not an Access database
        Unsupported,  // a valid file this program does not handle (.accdb, writing Access 97)
        NotFound,     // a table, column or index does not exist
        Encoding,     // text cannot be converted to or from the file's code page
        InUse,        // another program (or connection) is writing the file
        Constraint,   // a change breaks a rule of the table: key, NOT NULL, relationship
        Schema,       // a table cannot be created or dropped as asked
        Value,        // a value does not fit where it was given (kind, range, length)
        Syntax,       // a statement is not valid Jet SQL
        NotSupported, // valid Jet SQL that this program does not run
        Statement,    // a statement that cannot run against this database
        OutOfMemory,
    };

    // Kind Server when the client library gave an error number, else General.
    explicit EDatabaseError(const QString& message, unsigned errorCode = 0)
        : std::runtime_error(message.toStdString()), m_kind(errorCode ? Kind::Server : Kind::General),
          m_code(errorCode) {}
    explicit EDatabaseError(const std::string& message, unsigned errorCode = 0)
        : std::runtime_error(message), m_kind(errorCode ? Kind::Server : Kind::General), m_code(errorCode) {}
    EDatabaseError(Kind kind, const std::string& message, QString table = {}, std::optional<qint64> row = {})
        : std::runtime_error(message), m_kind(kind), m_table(std::move(table)), m_row(row) {}

    Kind kind() const { return m_kind; }
    // The table the failure is about; empty when none or not known.
    const QString& table() const { return m_table; }
    // The record (1-based, in the data set's order) the failure is about, where there is one.
    std::optional<qint64> row() const { return m_row; }

    // The client library's error number (0 when the failure is one of ours).
    unsigned ErrorCode() const { return m_code; }
    QString Message() const { return QString::fromUtf8(what()); }

private:
    Kind m_kind;
    unsigned m_code = 0;
    QString m_table;
    std::optional<qint64> m_row;
};

} // namespace tablor
