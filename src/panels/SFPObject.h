#pragma once
// Root of the panel hierarchy: a named object with run-time class information.
#include <QObject>
#include <QString>

class CSFPObject : public QObject {
    Q_OBJECT
public:
    explicit CSFPObject(const QString& name) : m_strName(name) {}

    const QString m_strName; // set once from the string table; FindPanel compares it
};
