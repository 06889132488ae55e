#pragma once

// Where the bridge reads the received power when it measures on the sun: a
// radio through Hamlib's rigctld, or a command that prints one reading. Every
// source is read the same way, one reading at a time.

#include <QObject>
#include <QString>

namespace heliotrope::power {

class PowerSource : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    ~PowerSource() override = default;

    // Asks for one reading. Exactly one of readingArrived or failed follows,
    // later, from the event loop, within the source's own deadline; a request
    // made while one is pending is ignored.
    virtual void requestReading() = 0;
    virtual bool readingPending() const = 0;

    // What is read, for the operator ("rigctld 127.0.0.1:4532, l STRENGTH").
    virtual QString description() const = 0;
    // The smallest step the source reports, in dB: 1 for a radio's S-meter
    // through rigctld (whole dB), 0 where the source gives decimals.
    virtual double resolution() const = 0;

signals:
    // One reading, in dB on the source's own scale (only differences mean anything).
    void readingArrived(double decibels);
    // The source did not answer in time, is gone, or answered something that
    // is not a reading: one line in Japanese and English.
    void failed(const QString& reason);
};

}  // namespace heliotrope::power
