#include "tools/bench/PictureSettle.h"

#include <QTest>

#include <vector>

using bench::PictureSample;
using bench::settledFrom;

namespace {

// Samples every `stepMs` from 0, one picture (hash) each.
std::vector<PictureSample> series(const std::vector<std::uint64_t>& hashes, double stepMs)
{
    std::vector<PictureSample> samples;
    for (std::size_t i = 0; i < hashes.size(); ++i) {
        const double t = static_cast<double>(i) * stepMs;
        samples.push_back({t, t + 0.2, hashes[i]});
    }
    return samples;
}

std::vector<std::uint64_t> blankThenChart(int blanks, int charts)
{
    std::vector<std::uint64_t> h(static_cast<std::size_t>(blanks), 1);
    h.insert(h.end(), static_cast<std::size_t>(charts), 7);
    return h;
}

}  // namespace

class TestPictureSettle : public QObject {
    Q_OBJECT
private slots:
    void firstSampleOfTheFinalPicture();
    void aPictureThatComesBackCountsFromItsReturn();
    void notSettledTooSoon();
};

void TestPictureSettle::firstSampleOfTheFinalPicture()
{
    // 150 ms of other pictures, then the chart for 1.2 s, sampled every 10 ms.
    std::vector<std::uint64_t> hashes = blankThenChart(10, 120);
    hashes[3] = 2;  // the window's background, half drawn
    const auto samples = series(hashes, 10);
    QCOMPARE(settledFrom(samples, 1000, 0), std::optional<std::size_t>(10));
    // Already there at the first sample.
    QCOMPARE(settledFrom(series(blankThenChart(0, 150), 10), 1000, 0), std::optional<std::size_t>(0));
}

void TestPictureSettle::aPictureThatComesBackCountsFromItsReturn()
{
    // The chart flashes once early (a stale frame), then something else, then
    // the chart for good: the start is its last return, not the flash.
    std::vector<std::uint64_t> hashes = blankThenChart(20, 150);
    hashes[5] = 7;
    hashes[6] = 7;
    QCOMPARE(settledFrom(series(hashes, 10), 1000, 0), std::optional<std::size_t>(20));
}

void TestPictureSettle::notSettledTooSoon()
{
    QCOMPARE(settledFrom({}, 1000, 0), std::nullopt);
    // Still for 990 ms only.
    QCOMPARE(settledFrom(series(blankThenChart(10, 100), 10), 1000, 0), std::nullopt);
    // Still long enough, but the run is not yet as long as required.
    const auto samples = series(blankThenChart(10, 120), 10);
    QCOMPARE(settledFrom(samples, 1000, 2000), std::nullopt);
    QCOMPARE(settledFrom(samples, 1000, 1290), std::optional<std::size_t>(10));
}

QTEST_APPLESS_MAIN(TestPictureSettle)
#include "tst_picturesettle.moc"
