#include "support/uitestkit.h"

#include "service/launchagentcontroller.h"
#include "ui/widgets/wraplabel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
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
    writeFile(m_status, QByteArray::number(status));
}

QStringList FakeServiceTool::calls() const
{
    return QString::fromUtf8(readFile(m_log)).split(u'\n', Qt::SkipEmptyParts);
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

QStringList visibleTexts(QWidget *window)
{
    QStringList texts;
    for (QWidget *w : window->findChildren<QWidget *>()) {
        if (!w->isVisible())
            continue;
        if (auto *label = qobject_cast<QLabel *>(w); label && !label->text().isEmpty())
            texts << label->text();
        if (auto *wrap = qobject_cast<WrapLabel *>(w))
            texts << wrap->text();
    }
    return texts;
}

void saveScreenshot(QWidget *widget, const QString &name)
{
    const QString dir = QCoreApplication::applicationDirPath() + QStringLiteral("/../screenshots");
    QDir().mkpath(dir);
    widget->grab().save(QDir(dir).absoluteFilePath(name + QStringLiteral(".png")));
}

} // namespace dorv::test
