#pragma once

#include <QString>

#include <stdexcept>

// Every failure of the table engine reaches callers as this one type, carrying
// the engine's message ("Field 'Description' must have a value", "Key violation").
class EngineError : public std::runtime_error
{
public:
    explicit EngineError(const QString &message)
        : std::runtime_error(message.toStdString())
        , m_message(message)
    { }
    QString message() const { return m_message; }

private:
    QString m_message;
};
