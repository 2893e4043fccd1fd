#include "uitestkit.h"

#include "launchagentcontroller.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLayout>

namespace dorv::test {

FakeServiceTool::FakeServiceTool(const TestHome &home)
    : m_log(home.file(QStringLiteral("service.log"))),
      m_status(home.file(QStringLiteral("service.status")))
{
    setExitStatus(0);
    const QString tool = writeScript(home.file(QStringLiteral("bin/service-tool")),
                                     "echo \"$*\" >> '" + QFile::encodeName(m_log) +
                                         "'\nexit $(cat '" + QFile::encodeName(m_status) + "')\n");
    LaunchAgentController::setProgramOverride(tool);
}

FakeServiceTool::~FakeServiceTool()
{
    LaunchAgentController::setProgramOverride({});
}

void FakeServiceTool::setExitStatus(int status)
{
    QFile f(m_status);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(QByteArray::number(status));
}

QStringList FakeServiceTool::calls() const
{
    QFile f(m_log);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

void FakeServiceTool::clear()
{
    QFile::remove(m_log);
}

QStringList visibleRows(QWidget *container)
{
    QStringList rows;
    QLayout *layout = container->layout();
    for (int i = 0; layout && i < layout->count(); ++i) {
        QWidget *w = layout->itemAt(i)->widget();
        if (w && !w->isHidden())
            rows.append(w->objectName());
    }
    return rows;
}

QString saveScreenshot(QWidget *widget, const QString &name)
{
    const QString dir = QCoreApplication::applicationDirPath() + QStringLiteral("/../screenshots");
    QDir().mkpath(dir);
    const QString path = QDir(dir).absoluteFilePath(name + QStringLiteral(".png"));
    widget->grab().save(path);
    return path;
}

} // namespace dorv::test
