// Texts fit their places: in every window of the tour, no label, button or box shows less of its
// text than it needs; in the room list's rows a room's name keeps its start beside a long date,
// and the member count stands beside its picture, not on it. Run in English and Korean, at
// scale 1 and 2 (LANG and QT_SCALE_FACTOR set by CTest), with the translations loaded the way
// the program loads them.
#include "app/language.h"
#include "main/chatroomitem.h"
#include "resources/mtresources.h"
#include "screens/windowtour.h"
#include "widgets/elidelabel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QTextDocument>
#include <QtTest>

#include <functional>

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

// A room list row whose title shows fewer characters than kTitleKept before its ellipsis.
constexpr int kTitleKept = 6;
struct Squeezed
{
    QString title;
    QString shown;
    bool operator==(const Squeezed& o) const { return title == o.title && shown == o.shown; }
};

// A member count drawn over its picture: the rectangles of both, in the label's pixels.
struct Overlap
{
    QString count;
    QRect picture;
    QRect text;
    bool operator==(const Overlap& o) const
    {
        return count == o.count && picture == o.picture && text == o.text;
    }
};

// All of them in a window, compared as one value so that a failure lists them.
template <typename T>
struct All
{
    QList<T> list;
    bool operator==(const All& o) const { return list == o.list; }
};

QList<ChatRoomItem*> shownRows(QWidget* window)
{
    QList<ChatRoomItem*> rows;
    for (ChatRoomItem* row : window->findChildren<ChatRoomItem*>()) {
        if (row->isVisible() && !row->visibleRegion().isEmpty())
            rows << row;
    }
    return rows;
}

All<Squeezed> squeezedTitles(const QList<ChatRoomItem*>& rows)
{
    All<Squeezed> squeezed;
    for (const ChatRoomItem* row : rows) {
        const auto* label = row->findChild<ElideLabel*>(QStringLiteral("titleLabel"));
        const QRect area = label->contentsRect();
        const QString shown = label->visibleLines(area.width(), area.height()).value(0);
        const int kept = shown.endsWith(QChar(0x2026)) ? shown.size() - 1 : shown.size();
        if (kept < qMin(kTitleKept, int(label->text().size())))
            squeezed.list << Squeezed{label->text(), shown};
    }
    return squeezed;
}

// The colour most pixels on the image's edge have: the ground the picture is drawn on (a
// picture may fill the label's height, never its whole outline).
QRgb groundOf(const QImage& image)
{
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const bool edge = x == 0 || y == 0 || x == image.width() - 1 || y == image.height() - 1;
            counts[image.pixel(x, y)] += edge ? 1 : 0;
        }
    }
    QRgb ground = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > counts.value(ground))
            ground = it.key();
    }
    return ground;
}

// The box around the pixels of `image` that differ from `other` (same size) at the same place.
QRect inkBox(const QImage& image, const std::function<QRgb(int, int)>& other)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != other(x, y))
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

QLabel* memberCount(const ChatRoomItem* row)
{
    return row->findChild<QLabel*>(QStringLiteral("memberCountLabel"));
}

// Drawn once with its text and once without: what the text adds must not touch the picture
// (whatever differs from the label's ground in the drawing without text).
All<Overlap> countsOverPictures(const QList<ChatRoomItem*>& rows)
{
    All<Overlap> overlaps;
    for (const ChatRoomItem* row : rows) {
        QLabel* label = memberCount(row);
        if (!label->isVisible())
            continue;
        const QString text = label->text();
        const QImage withText = label->grab().toImage();
        label->setText(QString());
        const QImage picture = label->grab().toImage();
        label->setText(text);
        const QRgb ground = groundOf(picture);
        const QRect pictureBox = inkBox(picture, [ground](int, int) { return ground; });
        const QRect textBox =
            inkBox(withText, [&picture](int x, int y) { return picture.pixel(x, y); });
        if (textBox.isEmpty() || pictureBox.intersects(textBox))
            overlaps.list << Overlap{text, pictureBox, textBox};
    }
    return overlaps;
}

int shownCounts(const QList<ChatRoomItem*>& rows)
{
    return int(std::count_if(rows.begin(), rows.end(), [](const ChatRoomItem* row) {
        return memberCount(row)->isVisible();
    }));
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
template <>
char* toString(const All<Squeezed>& all)
{
    QStringList lines;
    for (const Squeezed& s : all.list)
        lines << QStringLiteral("'%1' shown as '%2'").arg(s.title, s.shown);
    return qstrdup(
        QStringLiteral("[%1]").arg(lines.join(QLatin1String("; "))).toUtf8().constData());
}
template <>
char* toString(const All<Overlap>& all)
{
    const auto box = [](const QRect& r) {
        return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
    };
    QStringList lines;
    for (const Overlap& o : all.list)
        lines << QStringLiteral("count '%1' drawn at %2, its picture at %3")
                     .arg(o.count, box(o.text), box(o.picture));
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
    void roomTitlesKeepTheirStart();
    void memberCountsBesideTheirPicture();
    // The lock page last: it closes the chat windows and leaves the room list.
    void lockPage();
    void cleanupTestCase() { deleteTranslators(); }

private:
    // A window of the tour that the tour keeps (the main window on one of its pages), shown
    // and laid out; null when it could not be brought up.
    QWidget* showKept(const QString& name);

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
                             "picture", "invite", "members", "toast"})
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

// A room's name beside a long date (a Korean one of another day) still shows its first
// characters in a row of the list's usual width.
void TestTexts::roomTitlesKeepTheirStart()
{
    QWidget* w = showKept(QStringLiteral("roomlist"));
    QVERIFY2(w, "the room list could not be brought up");
    const QList<ChatRoomItem*> rows = shownRows(w);
    QVERIFY2(!rows.isEmpty(), "no room list row is shown");
    QCOMPARE(squeezedTitles(rows), All<Squeezed>{});
}

void TestTexts::memberCountsBesideTheirPicture()
{
    QWidget* w = showKept(QStringLiteral("roomlist"));
    QVERIFY2(w, "the room list could not be brought up");
    const QList<ChatRoomItem*> rows = shownRows(w);
    QVERIFY2(shownCounts(rows) > 0, "no shown row has a member count");
    QCOMPARE(countsOverPictures(rows), All<Overlap>{});
}

void TestTexts::lockPage()
{
    QWidget* w = showKept(QStringLiteral("lock"));
    QVERIFY2(w, "the lock page could not be brought up");
    QCOMPARE(cutTexts(w), Cuts{});
}

QWidget* TestTexts::showKept(const QString& name)
{
    if (!m_stops.contains(name))
        return nullptr;
    QWidget* w = m_stops.value(name).show();
    if (!w)
        return nullptr;
    w->show();
    if (!QTest::qWaitForWindowExposed(w))
        return nullptr;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    return w;
}

QTEST_MAIN(TestTexts)
#include "tst_texts.moc"
