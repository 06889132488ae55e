#include "companions/rotctl/page/PageToken.h"

#include "companions/common/ConsoleText.h"
#include "companions/rotctl/bridge/KeptHold.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

namespace heliotrope::rotctl {

namespace {

constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr int kTokenBytes = 24;

bool wellFormed(const QByteArray& token)
{
    if (token.size() < 32)
        return false;
    for (const char c : token)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

}  // namespace

QString pageTokenPath()
{
    return stateFolder() + QStringLiteral("/heliotrope-rotctl-page-token");
}

QByteArray loadPageToken(const QString& path, QString* problem)
{
    QFile kept(path);
    if (kept.exists()) {
        if (kept.permissions() & ~(kOwnerOnly | QFileDevice::ReadUser | QFileDevice::WriteUser))
            kept.setPermissions(kOwnerOnly);
        if (kept.open(QIODevice::ReadOnly)) {
            const QByteArray token = kept.readAll().trimmed();
            if (wellFormed(token))
                return token;
        }
    }
    if (!QDir().mkpath(QFileInfo(path).path())) {
        *problem = companions::bilingual(QStringLiteral("フォルダーを作れません"), QStringLiteral("its folder cannot be made"));
        return {};
    }
    QByteArray random(kTokenBytes, Qt::Uninitialized);
    QRandomGenerator::system()->generate(reinterpret_cast<quint32*>(random.data()),
                                         reinterpret_cast<quint32*>(random.data() + random.size()));
    const QByteArray token = random.toHex();
    // Made owner-only: never readable by others, even for a moment.
    const QString fresh = path + QStringLiteral(".new");
    QFile::remove(fresh);
    QFile file(fresh);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, kOwnerOnly) || file.write(token + '\n') < 0 || !file.flush()) {
        *problem = file.errorString();
        return {};
    }
    file.close();
    QFile::remove(path);
    if (!QFile::rename(fresh, path)) {
        *problem = companions::bilingual(QStringLiteral("置き換えられません"), QStringLiteral("it cannot be replaced"));
        return {};
    }
    return token;
}

}  // namespace heliotrope::rotctl
