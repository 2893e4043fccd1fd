#include "dorvmenuapp.h"
#include "menucontentview.h"
#include "panelwindow.h"
#include "reloadsignal.h"
#include "style.h"
#include "uitestkit.h"
#include "widgets.h"

#include <QSignalSpy>
#include <QTest>

using namespace dorv;
using namespace dorv::test;

class TestApp : public QObject {
    Q_OBJECT
    TestHome m_home;

private Q_SLOTS:
    void initTestCase() { reload::setPgrepOverride(QStringLiteral("/bin/true")); }
    void iconFollowsState();
    void symbolsAreCrisp_data();
    void symbolsAreCrisp();
    void placement_data();
    void placement();
};

void TestApp::iconFollowsState()
{
    FakeServiceTool tool(m_home);
    tool.setExitStatus(0);
    FakeHttpServer server;
    server.respond(200, R"({"ok":true,"chatwire":"connected","active_project":"api"})");
    DORVMenuApp app(server.baseUrl());
    QCOMPARE(app.currentIconName(), QStringLiteral("message"));
    QCOMPARE(app.currentIconColor(), style::color(style::Tint::Gray));
    QTest::qWait(300);
    QCOMPARE(server.requests().size(), 0); // nothing before the panel is first shown

    app.start(); // no tray here: the panel opens as a window, which starts polling
    QVERIFY(app.panelWindow()->isVisible());
    QTRY_COMPARE(server.count("/status"), 1);
    QTRY_COMPARE(app.currentIconColor(), style::color(style::Tint::Green));
    QCOMPARE(app.currentIconName(), QStringLiteral("message.fill"));

    server.respond(200, R"({"ok":true,"chatwire":"pairing","marvek_busy":true,"queued":4})");
    app.status()->poll();
    QTRY_COMPARE(app.currentIconColor(), style::color(style::Tint::Orange));
    QCOMPARE(app.currentIconName(), QStringLiteral("message.fill"));

    // Turning the bridge off shows offline at once, without a poll.
    const int polls = server.count("/status");
    QTest::mouseClick(app.panel()->findChild<SwitchButton *>(QStringLiteral("bridgeSwitch")),
                      Qt::LeftButton);
    QCoreApplication::processEvents();
    QCOMPARE(app.currentIconName(), QStringLiteral("message"));
    QCOMPARE(app.currentIconColor(), style::color(style::Tint::Gray));
    QCOMPARE(server.count("/status"), polls);

    // Each showing of the panel polls at once.
    app.panelWindow()->hide();
    app.panelWindow()->show();
    QTRY_COMPARE(server.count("/status"), polls + 1);
}

void TestApp::symbolsAreCrisp_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<qreal>("dpr");
    for (const char *name :
         {"message", "message.fill", "checkmark", "arrow.counterclockwise", "gearshape", "doc.text",
          "star", "star.fill", "xmark", "plus", "folder.badge.plus"}) {
        QTest::addRow("%s@1", name) << QString::fromLatin1(name) << 1.0;
        QTest::addRow("%s@2", name) << QString::fromLatin1(name) << 2.0;
    }
}

void TestApp::symbolsAreCrisp()
{
    QFETCH(QString, name);
    QFETCH(qreal, dpr);
    QVERIFY(!style::symbolResource(name).isEmpty());
    const QColor green = style::color(style::Tint::Green);
    const QPixmap pixmap = style::symbol(name, green, 22, dpr);
    QCOMPARE(pixmap.size(), QSize(22, 22) * dpr);
    QCOMPARE(pixmap.devicePixelRatio(), dpr);
    const QImage image = pixmap.toImage();
    int opaque = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() >= 128) {
                ++opaque;
                QVERIFY(qAbs(c.red() - green.red()) <= 4 && qAbs(c.green() - green.green()) <= 4 &&
                        qAbs(c.blue() - green.blue()) <= 4);
            }
        }
    QVERIFY2(opaque > 10, "the glyph is drawn");
}

void TestApp::placement_data()
{
    QTest::addColumn<QRect>("anchor");
    QTest::addColumn<QRect>("expected");
    const QSize size(260, 400);
    QTest::newRow("top bar, middle") << QRect(900, 0, 24, 24) << QRect(QPoint(781, 27), size);
    QTest::newRow("top bar, right edge") << QRect(1900, 0, 20, 24) << QRect(QPoint(1660, 27), size);
    QTest::newRow("bottom panel, left edge")
        << QRect(0, 1056, 24, 24) << QRect(QPoint(0, 653), size);
    QTest::newRow("cursor, bottom right")
        << QRect(1910, 1070, 1, 1) << QRect(QPoint(1660, 667), size);
}

void TestApp::placement()
{
    QFETCH(QRect, anchor);
    QFETCH(QRect, expected);
    QCOMPARE(placePanel(QSize(260, 400), anchor, QRect(0, 0, 1920, 1080)), expected);
}

QTEST_MAIN(TestApp)
#include "tst_app.moc"
