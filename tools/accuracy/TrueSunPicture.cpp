// Draws the daily figures of truesun_compare.py --daily as a PNG: for each
// JST day, the largest pointing error on the sky of the window's model
// (degrees) and of the real sun the rotator bridge commands (arc seconds),
// both against python3-ephem. Development only.
//
//   heliotrope-truesun-picture daily.csv picture.png

#include <QDate>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Day {
    QDate date;
    double modelDegrees = 0;
    double trueArcseconds = 0;
};

constexpr int kWidth = 1200;
constexpr int kHeight = 640;
constexpr int kLeft = 90;
constexpr int kRight = 30;

// One panel: a filled line of one value per day over [0, top].
void panel(QPainter& p, const QRect& area, const std::vector<Day>& days, double top, double step, const QString& unit,
           const QColor& colour, double (*value)(const Day&), const QString& title)
{
    p.setPen(QColor(90, 90, 90));
    p.drawRect(area);
    QFont small = p.font();
    small.setPixelSize(13);
    p.setFont(small);
    for (double v = 0; v <= top + 1e-9; v += step) {
        const int y = area.bottom() - static_cast<int>(v / top * area.height());
        p.setPen(QColor(225, 225, 225));
        p.drawLine(area.left() + 1, y, area.right() - 1, y);
        p.setPen(Qt::black);
        p.drawText(QRect(0, y - 9, kLeft - 8, 18), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(v, 'f', step < 0.5 ? 2 : (step < 1 ? 1 : 0)) + unit);
    }
    const QDate first = days.front().date;
    const double span = static_cast<double>(first.daysTo(days.back().date)) + 1;
    const auto x = [&](const QDate& d) { return area.left() + static_cast<double>(first.daysTo(d)) / span * area.width(); };
    for (int year = first.year(); year <= days.back().date.year(); ++year) {
        const double xi = x(QDate(year, 1, 1));
        p.setPen(QColor(200, 200, 200));
        p.drawLine(QPointF(xi, area.top()), QPointF(xi, area.bottom()));
        p.setPen(Qt::black);
        p.drawText(QRectF(xi, area.bottom() + 2, area.width() / span * 365, 18), Qt::AlignHCenter, QString::number(year));
    }
    QPainterPath path(QPointF(area.left(), area.bottom()));
    for (const Day& d : days)
        path.lineTo(x(d.date), area.bottom() - std::min(value(d), top) / top * area.height());
    path.lineTo(area.right(), area.bottom());
    path.closeSubpath();
    p.fillPath(path, colour);
    QFont bold = p.font();
    bold.setPixelSize(15);
    bold.setBold(true);
    p.setFont(bold);
    p.setPen(Qt::black);
    p.drawText(QRect(area.left() + 8, area.top() + 4, area.width() - 16, 20), Qt::AlignLeft, title);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fputs("usage: heliotrope-truesun-picture daily.csv picture.png\n", stderr);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "heliotrope-truesun-picture: cannot read %s\n", argv[1]);
        return 1;
    }
    std::vector<Day> days;
    in.readLine();  // header
    while (!in.atEnd()) {
        const QList<QByteArray> f = in.readLine().trimmed().split(',');
        if (f.size() == 3)
            days.push_back({QDate::fromString(QString::fromLatin1(f[0]), Qt::ISODate), f[1].toDouble(), f[2].toDouble()});
    }
    if (days.size() < 2) {
        std::fputs("heliotrope-truesun-picture: fewer than two days\n", stderr);
        return 1;
    }
    double modelWorst = 0;
    double trueWorst = 0;
    for (const Day& d : days) {
        modelWorst = std::max(modelWorst, d.modelDegrees);
        trueWorst = std::max(trueWorst, d.trueArcseconds);
    }

    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QFont heading = p.font();
    heading.setPixelSize(18);
    heading.setBold(true);
    p.setFont(heading);
    p.drawText(QRect(kLeft, 8, kWidth - kLeft - kRight, 26), Qt::AlignLeft,
               QStringLiteral("Largest pointing error of each day against python3-ephem, nine cities, sun above the horizon"));
    const int panelHeight = (kHeight - 44 - 2 * 26) / 2;
    panel(
        p, QRect(kLeft, 44, kWidth - kLeft - kRight, panelHeight), days, 2.0, 0.5, QStringLiteral("°"),
        QColor(230, 140, 40), [](const Day& d) { return d.modelDegrees; },
        QStringLiteral("The window's model: up to %1°").arg(modelWorst, 0, 'f', 2));
    panel(
        p, QRect(kLeft, 44 + panelHeight + 26, kWidth - kLeft - kRight, panelHeight), days, 1.0, 0.25,
        QStringLiteral("″"), QColor(50, 110, 200), [](const Day& d) { return d.trueArcseconds; },
        QStringLiteral("heliotrope-rotctl --true-sun (ERFA): up to %1″ = %2°; the limit, 18″ (0.005°), is far above this scale")
            .arg(trueWorst, 0, 'f', 2)
            .arg(trueWorst / 3600, 0, 'f', 5));
    p.end();
    if (!image.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "heliotrope-truesun-picture: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
