#pragma once

// A pseudo-terminal standing in for the controller's serial port: the program
// holds the master side, and rotctld opens the device path (/dev/pts/N) as
// it would /dev/ttyUSB0. Raw mode: every byte passes as it is, no echo, no
// line editing. The program keeps the device side open too, so that the line
// stays up while rotctld is restarted between clients.

#include <QByteArray>
#include <QString>

namespace heliotrope::controllers {

class PseudoTerminal {
public:
    PseudoTerminal() = default;
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;
    ~PseudoTerminal();

    // False with the reason in Japanese and English when the system gives none.
    bool open(QString* problem);

    // The master side, to watch for bytes; −1 before open().
    int masterDescriptor() const { return m_master; }
    QString devicePath() const { return m_devicePath; }

    // Every byte waiting now; never blocks.
    QByteArray readAvailable();
    // False when the bytes could not all be written.
    bool write(const QByteArray& bytes);

private:
    int m_master = -1;
    int m_device = -1;
    QString m_devicePath;
};

}  // namespace heliotrope::controllers
