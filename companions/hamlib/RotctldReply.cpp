#include "companions/hamlib/RotctldReply.h"

#include <QString>

#include <cmath>

namespace heliotrope::hamlib {

namespace {

// The commands that move or stop the rotator answer with "RPRT n" alone.
bool answersWithCodeOnly(RotctldCommand command)
{
    return command == RotctldCommand::SetPosition || command == RotctldCommand::Stop || command == RotctldCommand::Park;
}

// A dump_state of protocol 1 has a dozen lines; far more means that what is
// being read is not a dump_state.
constexpr int kMaxDumpStateLines = 64;
// Hamlib 4.5 lists about eighty capabilities.
constexpr int kMaxDumpCapsLines = 400;

std::optional<double> numberFrom(const QByteArray& text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<int> integerFrom(const QByteArray& text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

QByteArray withoutLineEnd(const QByteArray& line)
{
    return line.endsWith('\r') ? line.chopped(1) : line;
}

}  // namespace

std::optional<int> hamlibReturnCode(const QByteArray& line)
{
    const QByteArray text = withoutLineEnd(line).trimmed();
    if (!text.startsWith("RPRT"))
        return std::nullopt;
    return integerFrom(text.mid(4));
}

RotctldReplyReader::RotctldReplyReader(RotctldCommand command)
    : m_command(command)
{
}

RotctldReplyReader::Status RotctldReplyReader::takeLine(const QByteArray& rawLine)
{
    const QByteArray line = withoutLineEnd(rawLine);
    ++m_linesRead;
    if (m_linesRead == 1) {
        if (const std::optional<int> code = hamlibReturnCode(line)) {
            // P always ends so; p and dump_state only when they failed.
            if (!answersWithCodeOnly(m_command) && *code == 0)
                return Status::Unreadable;
            m_returnCode = *code;
            return Status::Done;
        }
        if (answersWithCodeOnly(m_command))
            return Status::Unreadable;
    }

    switch (m_command) {
    case RotctldCommand::SetPosition:
    case RotctldCommand::Stop:
    case RotctldCommand::Park:
        return Status::Unreadable;  // answered in one line, handled above
    case RotctldCommand::GetPosition: {
        const std::optional<double> value = numberFrom(line);
        if (!value)
            return Status::Unreadable;
        m_values[m_linesRead - 1] = value;
        return m_linesRead == 2 ? Status::Done : Status::NeedMore;
    }
    case RotctldCommand::DumpState:
        return takeDumpStateLine(line);
    case RotctldCommand::DumpCaps:
        return takeDumpCapsLine(line);
    }
    return Status::Unreadable;
}

RotctldReplyReader::Status RotctldReplyReader::takeDumpCapsLine(const QByteArray& line)
{
    if (m_linesRead > kMaxDumpCapsLines)
        return Status::Unreadable;
    if (const std::optional<int> code = hamlibReturnCode(line)) {
        m_returnCode = *code;
        return Status::Done;
    }
    const QByteArray text = line.trimmed();
    if (text.startsWith("Can Park:")) {
        const QByteArray value = text.mid(9).trimmed();
        if (value == "Y" || value == "N")
            m_canPark = value == "Y";
    }
    return Status::NeedMore;
}

RotctldReplyReader::Status RotctldReplyReader::takeDumpStateLine(const QByteArray& line)
{
    if (m_linesRead > kMaxDumpStateLines)
        return Status::Unreadable;
    if (m_linesRead == 1) {
        const std::optional<int> protocol = integerFrom(line);
        if (!protocol || *protocol < 0)
            return Status::Unreadable;
        m_protocol = *protocol;
        return Status::NeedMore;
    }
    if (m_linesRead == 2)
        return integerFrom(line) ? Status::NeedMore : Status::Unreadable;  // the rotator model

    if (m_protocol == 0) {
        // min_az, max_az, min_el, max_el as bare numbers, and nothing after them.
        const std::optional<double> value = numberFrom(line);
        if (!value)
            return Status::Unreadable;
        m_values[m_linesRead - 3] = value;
        return m_linesRead == 6 ? Status::Done : Status::NeedMore;
    }

    const QByteArray text = line.trimmed();
    if (text == "done")
        return Status::Done;
    static const char* const keys[4] = {"min_az", "max_az", "min_el", "max_el"};
    const qsizetype equals = text.indexOf('=');
    if (equals < 0)
        return Status::NeedMore;  // a line this reader does not need
    const QByteArray key = text.left(equals).trimmed();
    for (int i = 0; i < 4; ++i) {
        if (key == keys[i])
            m_values[i] = numberFrom(text.mid(equals + 1));
    }
    return Status::NeedMore;
}

std::optional<rotator::RotatorPosition> RotctldReplyReader::position() const
{
    if (m_command != RotctldCommand::GetPosition || m_returnCode != 0 || !m_values[0] || !m_values[1])
        return std::nullopt;
    return rotator::RotatorPosition{*m_values[0], *m_values[1]};
}

std::optional<rotator::RotatorLimits> RotctldReplyReader::limits() const
{
    if (m_command != RotctldCommand::DumpState || m_returnCode != 0)
        return std::nullopt;
    for (const std::optional<double>& value : m_values) {
        if (!value)
            return std::nullopt;
    }
    const rotator::RotatorLimits limits{*m_values[0], *m_values[1], *m_values[2], *m_values[3]};
    if (limits.minAzimuth >= limits.maxAzimuth || limits.minElevation > limits.maxElevation)
        return std::nullopt;
    return limits;
}

HamlibError hamlibError(int returnCode)
{
    static const QString lineJa = QStringLiteral("コントローラの電源とケーブル、rotctld の -r（デバイス）と -s（速度）を確かめてください。");
    static const QString lineEn = QStringLiteral("Check the controller's power and cable, and rotctld's -r (device) and -s (speed).");
    static const QString modelJa = QStringLiteral("rotctld の -m（機種）がこのコントローラに合っているか確かめてください。");
    static const QString modelEn = QStringLiteral("Check that rotctld's -m (model) fits this controller.");
    // A controller that answers in another dialect than the backend speaks
    // (a GS-232B driven as a GS-232A) is the usual cause of a protocol error.
    static const QString dialectJa = QStringLiteral("まず rotctld の -m（機種）を確かめてください（GS-232B は -m 603、GS-232A は -m 601、"
                                                    "EasyComm II は -m 202、Rot2Prog は -m 901）。次に -s（速度）と -r（デバイス）です。");
    static const QString dialectEn = QStringLiteral("Check rotctld's -m (model) first (a GS-232B is -m 603, a GS-232A -m 601, "
                                                    "EasyComm II -m 202, a Rot2Prog -m 901), then -s (speed) and -r (device).");
    // Hamlib's error codes (rig.h, enum rig_errcode_e), as rotctld prints them negated.
    switch (-returnCode) {
    case 1:
        return {QStringLiteral("引数が不正です"), QStringLiteral("invalid parameter"), modelJa, modelEn};
    case 2:
        return {QStringLiteral("設定が不正です"), QStringLiteral("invalid configuration"), modelJa, modelEn};
    case 4:
        return {QStringLiteral("このローテーターでは使えない機能です"), QStringLiteral("not implemented for this rotator"), modelJa, modelEn};
    case 5:
        return {QStringLiteral("ローテーターから応答がありません（タイムアウト）"), QStringLiteral("the rotator does not answer (timeout)"), lineJa, lineEn};
    case 6:
        return {QStringLiteral("ローテーターとの入出力に失敗しました"), QStringLiteral("input/output with the rotator failed"), lineJa, lineEn};
    case 7:
        return {QStringLiteral("Hamlib の内部エラーです"), QStringLiteral("Hamlib's internal error"), {}, {}};
    case 8:
        return {QStringLiteral("ローテーターとの通信手順に誤りがあります"), QStringLiteral("protocol error with the rotator"), dialectJa, dialectEn};
    case 9:
        return {QStringLiteral("ローテーターがコマンドを拒否しました"), QStringLiteral("the rotator rejected the command"), modelJa, modelEn};
    case 11:
        return {QStringLiteral("このローテーターでは使えません"), QStringLiteral("not available on this rotator"), modelJa, modelEn};
    default:
        return {QStringLiteral("Hamlib のエラーです"), QStringLiteral("Hamlib error"), {}, {}};
    }
}

}  // namespace heliotrope::hamlib
