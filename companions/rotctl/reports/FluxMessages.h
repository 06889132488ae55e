#pragma once

// What --flux says: a day's values and bursts, a day not kept or not worked
// out, the files written or not. Worded here and only here; sentences in
// Japanese, newline, English, and a day's lines with the words of both on
// the line itself (the figures are shared), as --history's are.

#include "companions/record/FluxRecord.h"

#include <QDate>
#include <QString>
#include <QStringList>

namespace heliotrope::rotctl::said {

// A day's lines: its heading (kept or provisional, the scale and where it
// came from), its daily value, its values at fixed times and its bursts.
QStringList fluxDayLines(const record::KeptFluxDay& day, bool provisional, const QString& scaleSource);

QString noRecord(const QString& path);
QString noFluxTables(const QString& path);
QString nothingOn(const QDate& jstDay);
QString nothingSince(const QDate& jstDay);
// Readings kept for a day not worked out yet, and how to have it worked out.
QString readingsWithoutBeamwidth(const QDate& jstDay, qint64 readings);
// A day's readings not worked out: no scale for them (`why` from the choice).
QString readingsWithoutScale(const QDate& jstDay, qint64 readings, const QString& why);
// A file of the readings asked without what works them out.
QString filesNeedBeamwidth();
QString nothingToWrite(const QString& path);
QString fileSaved(const QString& path);
QString outputsNeedOneDay();

}  // namespace heliotrope::rotctl::said
