// A bridge that does nothing but record: writes calibrations of many points
// into the record given, one after another, and says "written N" after each
// commit, until it is killed. tst_stationrecord kills it mid-write.

#include "companions/record/StationRecord.h"

#include <QCoreApplication>

#include <cstdio>

using namespace heliotrope::record;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    StationRecord record(QString::fromLocal8Bit(argv[1]));
    if (!record.open())
        return 1;
    const int points = std::atoi(argv[2]);
    for (int n = 1;; ++n) {
        RecordedCalibration c;
        c.utc = QDateTime::currentDateTimeUtc();
        c.pattern = QStringLiteral("cross");
        c.found = true;
        c.saved = true;
        c.azimuthOffset = Measured{0.001 * n, 0.01};
        c.elevationOffset = Measured{-0.001 * n, 0.01};
        c.refraction = QStringLiteral("radio");
        c.programVersion = QStringLiteral("test");
        for (int i = 0; i < points; ++i) {
            RecordedPoint p;
            p.role = QStringLiteral("xel");
            p.power = i;
            p.utc = c.utc;
            c.points.push_back(p);
        }
        if (!record.addCalibration(c))
            return 1;
        std::printf("written %d\n", n);
        std::fflush(stdout);
    }
}
