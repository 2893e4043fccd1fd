#include "support/uitestkit.h"

#include "ui/widgets/wraplabel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QScreen>

namespace dorv::test {

LaunchAgentController::Runner FakeService::runner()
{
    return [state = m_state](const ServiceCommand &command) {
        state->calls.append(command.program + u' ' + command.arguments.join(u' '));
        return state->status;
    };
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
        if (auto *wrap = qobject_cast<WrapLabel *>(w)) // as read, without invisible isolation
            texts << wrap->text().remove(QChar(0x2068)).remove(QChar(0x2069));
    }
    return texts;
}

void saveScreenshot(QWidget *widget, const QString &name)
{
    const QString dir = QCoreApplication::applicationDirPath() + QStringLiteral("/../screenshots");
    QDir().mkpath(dir);
    const QSize s = widget->screen()->size(); // the runs at 2x keep their own pictures
    const QString scale = QStringLiteral("@2x-%1x%2").arg(s.width()).arg(s.height());
    widget->grab().save(QDir(dir).absoluteFilePath(
        name + (widget->devicePixelRatio() == 1 ? QString() : scale) + QStringLiteral(".png")));
}

} // namespace dorv::test
