// DbError.h — the exception every data-access failure travels as. Its what() is the
// server's or client library's UTF-8 text, or a sentence of ours saying what failed.
#pragma once

#include <QString>
#include <stdexcept>
#include <string>

namespace tablor {

class EDatabaseError : public std::runtime_error {
public:
    explicit EDatabaseError(const QString& message, unsigned errorCode = 0)
        : std::runtime_error(message.toStdString()), m_code(errorCode) {}
    explicit EDatabaseError(const std::string& message, unsigned errorCode = 0)
        : std::runtime_error(message), m_code(errorCode) {}

    // The client library's error number (0 when the failure is one of ours).
    unsigned ErrorCode() const { return m_code; }
    QString Message() const { return QString::fromUtf8(what()); }

private:
    unsigned m_code;
};

} // namespace tablor
