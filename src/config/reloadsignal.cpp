#include "config/reloadsignal.h"

#include "common/childprocess.h"
#include "common/logging.h"
#include "common/textlines.h"

#include <csignal>
#include <limits>

namespace dorv::reload {

namespace {
// An optional single sign, then ASCII digits only, within the signed 32-bit range.
std::optional<qint32> parseInt32(QStringView text)
{
    qsizetype i = 0;
    bool negative = false;
    if (!text.isEmpty() && (text[0] == u'+' || text[0] == u'-')) {
        negative = text[0] == u'-';
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
        if (value > qint64(std::numeric_limits<qint32>::max()) + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<qint32>::max() || value < std::numeric_limits<qint32>::min())
        return std::nullopt;
    return qint32(value);
}
} // namespace

QList<qint32> parsePids(const QByteArray &output)
{
    QString text;
    if (!decodeUtf8Strict(output, &text))
        return {};
    QList<qint32> pids;
    for (QStringView line : splitLines(text)) {
        const std::optional<qint32> pid = parseInt32(trimHorizontal(line));
        if (pid && *pid >= 1)
            pids.append(*pid);
    }
    return pids;
}

void sendSIGHUP(const QString &pgrepProgram)
{
    const QString &program = pgrepProgram;
    ChildOptions options;
    options.captureOutput = true;
    ChildResult result = runChild(program, {QStringLiteral("-f"), kPattern}, options);
    if (result.truncated) {
        // Never act on a number cut in half at the limit.
        const qsizetype lastBreak = result.output.lastIndexOf('\n');
        result.output.truncate(lastBreak < 0 ? 0 : lastBreak);
    }
    if (!result.finished) {
        qCWarning(lcConfig).noquote() << program << "could not be run or did not finish in time:"
                                      << "the bridge was not told to reload the project list";
        return;
    }
    const QList<qint32> pids = parsePids(result.output);
    qCDebug(lcConfig) << "SIGHUP to" << pids;
    for (qint32 pid : pids)
        ::kill(pid, SIGHUP);
}

} // namespace dorv::reload
