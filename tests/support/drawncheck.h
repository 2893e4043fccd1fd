#pragma once

#include <QCoreApplication>
#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QStringList>

class QWidget;

// Looks at a shown window the way a person does and names every drawn fault it finds: text cut
// short although nothing may shorten it (only path lines shorten, in the middle), labels too
// short for their glyphs, children reaching outside their parent's visible area, rows stretched
// or squeezed away from their natural height, a window outside the screen's available area or
// over the tray icon.
namespace dorv::test {

struct Surroundings {
    QRect screen; // available geometry; empty: not checked
    QRect icon;   // the tray icon; empty: not checked
};

QStringList drawnFaults(QWidget *window, const Surroundings &around = {});

} // namespace dorv::test

// Fails the test with every drawn fault of a shown window on the primary screen, once pending
// layout passes are done; an optional second argument is the tray icon's rectangle.
#define CHECK_DRAWN(window, ...)                                                                   \
    do {                                                                                           \
        QCoreApplication::processEvents();                                                         \
        const QStringList faults_ = dorv::test::drawnFaults(                                       \
            window, {QGuiApplication::primaryScreen()->availableGeometry(), __VA_ARGS__});         \
        QVERIFY2(faults_.isEmpty(), qPrintable(faults_.join(u'\n')));                              \
    } while (false)
