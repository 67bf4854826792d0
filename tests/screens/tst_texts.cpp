// Texts fit their places: in every window of the tour, no label, button or box shows less of its
// text than it needs. Run in English and Korean, at scale 1 and 2 (LANG and QT_SCALE_FACTOR set
// by CTest), with the translations loaded the way the program loads them.
#include "app/language.h"
#include "resources/mtresources.h"
#include "screens/windowtour.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QTextDocument>
#include <QtTest>

namespace {
// A text cut short: which widget, its text, the width it has and the width it needs.
struct Cut
{
    QString widget;
    QString text;
    int width = 0;
    int needed = 0;
    bool operator==(const Cut& o) const
    {
        return widget == o.widget && text == o.text && width == o.width && needed == o.needed;
    }
};

// All the cut texts of a window, compared as one value so that a failure lists them.
struct Cuts
{
    QList<Cut> list;
    bool operator==(const Cuts& o) const { return list == o.list; }
};

QString describe(const QWidget* w)
{
    return QString::fromLatin1(w->metaObject()->className()) + QLatin1Char(' ') + w->objectName();
}

// Plain one-line texts only: word-wrapped, rich and eliding labels find their own way.
Cuts cutTexts(QWidget* window)
{
    Cuts cuts;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        // Rows scrolled out of a list are laid out only when they come into view.
        if (!w->isVisible() || w->visibleRegion().isEmpty() || w->inherits("ElideLabel"))
            continue;
        QString text;
        if (auto* label = qobject_cast<QLabel*>(w)) {
            const bool plain = !label->wordWrap() && !Qt::mightBeRichText(label->text());
            text = plain ? label->text() : QString();
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            text = button->text();
        }
        // A push or tool button's own minimum width is the style's, not its text's.
        auto* button = qobject_cast<QAbstractButton*>(w);
        const bool textButton = button && !w->inherits("QCheckBox") && !w->inherits("QRadioButton");
        const int needed = textButton
                               ? w->fontMetrics().horizontalAdvance(text) +
                                     (button->icon().isNull() ? 0 : button->iconSize().width())
                               : w->minimumSizeHint().width();
        if (!text.trimmed().isEmpty() && w->width() < needed)
            cuts.list << Cut{describe(w), text, w->width(), needed};
    }
    return cuts;
}
} // namespace

Q_DECLARE_METATYPE(Cuts)

namespace QTest {
template <>
char* toString(const Cuts& cuts)
{
    QStringList lines;
    for (const Cut& c : cuts.list)
        lines << QStringLiteral("%1 '%2': %3 of %4 pixels")
                     .arg(c.widget, c.text)
                     .arg(c.width)
                     .arg(c.needed);
    return qstrdup(
        QStringLiteral("[%1]").arg(lines.join(QLatin1String("; "))).toUtf8().constData());
}
} // namespace QTest

class TestTexts : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void windows_data();
    void windows();
    void cleanupTestCase() { deleteTranslators(); }

private:
    WindowTour m_tour;
    QMap<QString, WindowTour::Stop> m_stops;
};

void TestTexts::initTestCase()
{
    mtInitResources();
    initLanguage();
    QVERIFY2(QLocale().language() != QLocale::Korean || installedTranslators().at(1),
             "the Korean translations did not load");
    QVERIFY2(m_tour.start(), qPrintable(m_tour.errorString()));
    for (const WindowTour::Stop& stop : m_tour.stops())
        m_stops.insert(stop.name, stop);
}

void TestTexts::windows_data()
{
    QTest::addColumn<QString>("window");
    for (const char* name : {"login", "roomlist", "chat", "settings", "password", "profile",
                             "picture", "invite", "members", "toast", "lock"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestTexts::windows()
{
    QFETCH(QString, window);
    QVERIFY2(m_stops.contains(window), "the tour has no such window");
    const WindowTour::Stop stop = m_stops.value(window);
    QWidget* w = stop.show();
    QVERIFY2(w, "the window could not be brought up");
    std::unique_ptr<QWidget> owned(stop.owned ? w : nullptr);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    // Layouts are settled by posted requests; measure after them, not before.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QCOMPARE(cutTexts(w), Cuts{});
}

QTEST_MAIN(TestTexts)
#include "tst_texts.moc"
