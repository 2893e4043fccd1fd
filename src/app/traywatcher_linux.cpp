#include "app/traywatcher.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <cstdlib>
#include <xcb/xcb.h>

// Linux has two kinds of tray. A StatusNotifierItem host registers with the watcher service on
// the session bus (Qt uses that kind when the watcher says a host is there); an XEmbed tray owns
// the X selection _NET_SYSTEM_TRAY_S<screen>.
namespace dorv {

namespace {
const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");

bool statusNotifierHost()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(kWatcher))
        return false;
    // The question Qt asks: the watcher may run a moment before its host registers.
    QDBusMessage get = QDBusMessage::createMethodCall(
        kWatcher, QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kWatcher << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusMessage reply = bus.call(get, QDBus::Block, 1000);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant().toBool();
}

bool xembedTray()
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11)
        return false;
    // The screen of the display name (":0.1" is screen 1); Qt's own XEmbed tray looks there.
    const QByteArray display = qgetenv("DISPLAY");
    const qsizetype dot = display.lastIndexOf('.');
    const int screen = dot > display.lastIndexOf(':') ? display.mid(dot + 1).toInt() : 0;
    const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(screen);
    xcb_connection_t *c = x11->connection();
    xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(name.size()), name.constData()), nullptr);
    if (!atom)
        return false;
    xcb_get_selection_owner_reply_t *owner =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr);
    const bool owned = owner && owner->owner != XCB_NONE;
    free(owner);
    free(atom);
    return owned;
}
} // namespace

bool TrayWatcher::mayAppearLater() const
{
    // Only on a desktop's own display does a tray come and go; elsewhere (offscreen) Qt knows.
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1StringView("xcb") ||
           platform.startsWith(QLatin1StringView("wayland"));
}

void TrayWatcher::watchPlatform()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    auto *service =
        new QDBusServiceWatcher(kWatcher, bus, QDBusServiceWatcher::WatchForRegistration, this);
    connect(service, &QDBusServiceWatcher::serviceRegistered, this, &TrayWatcher::check);
}

bool TrayWatcher::present() const
{
    return statusNotifierHost() || xembedTray();
}

} // namespace dorv
