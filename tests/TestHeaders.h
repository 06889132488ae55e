// What nearly every test begins with: QTest (which brings most of Qt Core),
// the sockets and processes the end-to-end tests drive, the widgets the
// window's tests press, and the standard library's usual headers. Compiled
// once per test folder and reused by each of its tests, it takes most of a
// test file's compilation away. A test still includes what it uses itself:
// configured with -DCMAKE_DISABLE_PRECOMPILE_HEADERS=ON, every test compiles
// without this header, which is how to check a new one.
#pragma once

#include <QTest>

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLocalSocket>
#include <QNetworkDatagram>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <vector>
