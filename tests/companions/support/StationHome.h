#pragma once

// A home of the station's own for the programs a test starts: the runtime
// (the request socket), settings (saved calibration), data (the record) and
// state (a kept stow) folders, so that nothing of the machine's user is read
// or written, and no user's stow holds a test's bridge.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

class StationHome {
public:
    // Makes the folders and points every program started from now on at them.
    bool make()
    {
        if (!m_dir.isValid() || !QDir(m_dir.path()).mkpath(QStringLiteral("run")))
            return false;
        QFile::setPermissions(filePath(QStringLiteral("run")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(filePath(QStringLiteral("run"))));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(filePath(QStringLiteral("config"))));
        qputenv("XDG_DATA_HOME", QFile::encodeName(filePath(QStringLiteral("data"))));
        qputenv("XDG_STATE_HOME", QFile::encodeName(filePath(QStringLiteral("state"))));
        return true;
    }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};
