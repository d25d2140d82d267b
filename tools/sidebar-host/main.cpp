// Shows the entry-list sidebar over a few sample servers, with smart groups
// kept in the user's data folder. For pictures:
//   sidebar-host [--search TEXT] [--menu] [--screenshot FILE]
// --search types TEXT into the search field, --menu opens the search menu,
// --screenshot saves the screen around the window and quits.
#include "SidebarHost.h"

#include "Halvex/Views/VySmartSearchField.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("sidebar-host"));
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption search(QStringLiteral("search"),
                                    QStringLiteral("Text to type into the search field."),
                                    QStringLiteral("text"));
    const QCommandLineOption menu(QStringLiteral("menu"), QStringLiteral("Open the search menu."));
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral("Save the screen around the window to this PNG and quit."), QStringLiteral("file"));
    parser.addOptions({search, menu, screenshot});
    parser.process(app);

    SidebarHost host(SidebarHost::sampleEntries(), HostSmartGroupFile::defaultPath());
    if (!host.smartGroupFile().keptAsidePath().isEmpty())
        std::fprintf(stderr, "sidebar-host: unreadable smart groups kept as %s\n",
                     qPrintable(host.smartGroupFile().keptAsidePath()));
    QWidget* window = host.window();
    window->move(40, 40);
    window->show();

    VySmartSearchField* field = host.sidebar().searchField();
    if (parser.isSet(search)) {
        field->setFocus();
        QTest::keyClicks(field, parser.value(search));
    }
    if (parser.isSet(menu)) QTimer::singleShot(300, field, [field] { field->popUpSearchMenu(); });
    if (parser.isSet(screenshot)) {
        const QString path = parser.value(screenshot);
        QTimer::singleShot(1200, &app, [window, path] {
            const QRect area = window->frameGeometry().adjusted(-20, -20, 260, 20);
            const QPixmap shot =
                window->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
            const bool saved = shot.save(path, "PNG");
            std::printf("%s %s %dx%d\n", saved ? "wrote" : "could not write", qPrintable(path), shot.width(),
                        shot.height());
            QApplication::exit(saved ? 0 : 1);
        });
    }
    return app.exec();
}
