#include "companions/rotctl/page/PageMessages.h"

#include "companions/common/ConsoleText.h"

using heliotrope::companions::bilingual;

namespace heliotrope::rotctl::said {

QString pageServed(const QString& url, bool control, bool tokenForAll)
{
    const QString ja = control ? QStringLiteral("格納・停止・再開もできます（合言葉が要ります）") : QStringLiteral("見るだけです");
    const QString en = control ? QStringLiteral("it may stow, stop and resume, with the token") : QStringLiteral("it is read-only");
    const QString allJa = tokenForAll ? QStringLiteral("。ループバック以外のアドレスなので、どの依頼にも合言葉が要ります") : QString();
    const QString allEn = tokenForAll ? QStringLiteral("; not on the loopback address, every request needs the token") : QString();
    return bilingual(QStringLiteral("局のページを %1 で出します: %2%3。").arg(url, ja, allJa),
                     QStringLiteral("Serving the station's page on %1: %2%3.").arg(url, en, allEn));
}

QString pageNotServed(const QString& endpoint, const QString& reason)
{
    return bilingual(QStringLiteral("局のページを %1 で出せません: %2").arg(endpoint, reason),
                     QStringLiteral("The station's page cannot be served on %1: %2").arg(endpoint, reason));
}

QString pageTokenKept(const QString& path)
{
    return bilingual(QStringLiteral("局のページの合言葉: %1（本人だけが読めます）").arg(path),
                     QStringLiteral("The station page's token: %1 (readable by its owner alone)").arg(path));
}

QString pageTokenNotKept(const QString& path, const QString& reason)
{
    return bilingual(QStringLiteral("局のページの合言葉を %1 に置けません（%2）。ページは見るだけになります。").arg(path, reason),
                     QStringLiteral("The station page's token cannot be kept in %1 (%2); the page is read-only.").arg(path, reason));
}

QString pageAsked(const QString& what, const QString& peer)
{
    return bilingual(QStringLiteral("局のページから %1 の依頼（%2 から）").arg(what, peer),
                     QStringLiteral("The station's page asks to %1 (from %2)").arg(what, peer));
}

QString pageRefused(const QString& what, const QString& peer, const QString& why)
{
    const qsizetype split = why.indexOf(QLatin1Char('\n'));
    return bilingual(QStringLiteral("局のページからの %1 の依頼を断りました（%2 から）: %3").arg(what, peer, why.left(split)),
                     QStringLiteral("Refused the station page's request to %1 (from %2): %3").arg(what, peer, why.mid(split + 1)));
}

QString pageUnknownPath()
{
    return bilingual(QStringLiteral("このページにはありません。"), QStringLiteral("No such page here."));
}

QString pageMethodNotAllowed()
{
    return bilingual(QStringLiteral("この方法では求められません。"), QStringLiteral("Not asked this way."));
}

QString pageTooLarge()
{
    return bilingual(QStringLiteral("依頼が大きすぎます。"), QStringLiteral("The request is too large."));
}

QString pageTokenNeeded()
{
    return bilingual(QStringLiteral("合言葉がないか、違います。"), QStringLiteral("The token is missing or wrong."));
}

QString pageOriginRefused()
{
    return bilingual(QStringLiteral("ほかのページからの依頼は受けません。"), QStringLiteral("Requests from another page are not taken."));
}

QString pageHostRefused()
{
    return bilingual(QStringLiteral("この局のアドレスあての依頼ではありません。"), QStringLiteral("The request is not addressed to this station."));
}

QString pageReadOnly()
{
    return bilingual(QStringLiteral("このページは見るだけです（ブリッジに --http-control がありません）。"),
                     QStringLiteral("This page is read-only (the bridge runs without --http-control)."));
}

}  // namespace heliotrope::rotctl::said
