#include "config/reloadsignal.h"

#include "common/childprocess.h"
#include "common/logging.h"
#include "common/textlines.h"

#include <QRegularExpression>

#include <algorithm>

#include <limits>
#include <unistd.h>

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

// A path whose file is server.py in a folder under one named chatwire-bridge….
bool isServerScript(const QString &path)
{
    QStringList parts = path.split(u'/');
    if (parts.takeLast() != QStringLiteral("server.py"))
        return false;
    return std::any_of(parts.cbegin(), parts.cend(), [](const QString &folder) {
        return folder.startsWith(QStringLiteral("chatwire-bridge"));
    });
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

bool isBridgeServer(const QStringList &argv)
{
    // macOS's framework builds run as .../Python.app/Contents/MacOS/Python.
    static const QRegularExpression python(QStringLiteral("^[Pp]ython(3(\\.[0-9]+)?)?$"));
    if (argv.isEmpty() || !python.match(argv[0].section(u'/', -1)).hasMatch())
        return false;
    // Python's own reading of its command line: options up to the script; -c and -m run no
    // script; -W, -X and --check-hash-based-pycs take the next argument when it is not attached.
    for (qsizetype i = 1; i < argv.size(); ++i) {
        const QString &arg = argv[i];
        if (arg == QStringLiteral("--"))
            return isServerScript(argv.value(i + 1));
        if (arg == QStringLiteral("--check-hash-based-pycs")) {
            ++i;
            continue;
        }
        if (!arg.startsWith(u'-') || arg == QStringLiteral("-"))
            return isServerScript(arg);
        if (arg.startsWith(QStringLiteral("--")))
            continue;
        for (qsizetype j = 1; j < arg.size(); ++j) {
            if (arg[j] == u'c' || arg[j] == u'm')
                return false;
            if (arg[j] == u'W' || arg[j] == u'X') {
                i += j + 1 == arg.size() ? 1 : 0;
                break;
            }
        }
    }
    return false;
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
    const uid_t me = ::getuid();
    for (qint32 pid : parsePids(result.output)) {
        const bool sent = hangUpIf(pid, [me](const ProcessFacts &process) {
            return process.realUid == me && isBridgeServer(process.argv);
        });
        qCDebug(lcConfig) << (sent ? "SIGHUP to" : "not the bridge:") << pid;
    }
}

} // namespace dorv::reload
