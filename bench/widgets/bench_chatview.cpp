// The conversation view at the size of a long conversation, measured until painted on the
// offscreen platform:
//   chat.page.deep      a page of 50 older chats added at the top of a view that already holds
//                       9,950, against the first page of 50 into an empty view (<= 2x, <= 30 ms)
//   chat.insert.bottom  one chat appended at the bottom of a view of 10,000 rows, against one
//                       appended to a view of 50 (<= 2x)
//   chat.rss.10k        resident memory added by a view that has paged through 10,000 chats
//                       (<= 60 MB)
// Pages are added as history paging adds them: one chat at a time at the top (addChatRow, which
// makes no item for a row the user does not see), the view scrolled to the top afterwards (the
// user is reading there), then painted. A page added through addChat, which hands every item
// back and so makes all 50, is printed beside the figures. BENCH_DETAIL=1 prints every page.
#include "bench/common/benchreport.h"
#include "resources/mtresources.h"
#include "store/dbchat.h"
#include "widgets/mtchatwidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QPainter>

#include <cstdio>
#include <limits>
#include <numeric>

namespace {

constexpr int kPage = 50;
constexpr int kRows = 10000;
constexpr int kSamples = 21;
const qint64 kNewest = QDateTime(QDate(2026, 12, 1), QTime(18, 0)).toMSecsSinceEpoch();

// Runs what is pending, widgets given up by the view included.
void settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

// What the user sees: pending layouts and row widgets done, then the window painted.
void paint(MtChatWidget& view)
{
    QCoreApplication::processEvents();
    view.repaint();
}

QString textOf(int n)
{
    static const QString words[] = {
        QStringLiteral("meeting"), QStringLiteral("tomorrow"),
        QStringLiteral("report"),  QStringLiteral("회의"),
        QStringLiteral("자료"),    QStringLiteral("https://example.org/a"),
        QStringLiteral("lunch"),   QStringLiteral("the"),
        QStringLiteral("draft")};
    QString text;
    const int length = 2 + (n * 7) % 40;
    for (int i = 0; i < length; ++i) {
        text += words[(n + i * 3) % 9];
        text += (i % 13 == 12) ? QLatin1Char('\n') : QLatin1Char(' ');
    }
    return text.trimmed();
}

// The n-th chat back from the newest: about 60 a day, every fifth one the user's own.
DBChat chatNumber(int n)
{
    DBChat chat;
    chat.setMsgId(QStringLiteral("bench-%1").arg(n));
    chat.setMsgType(1);
    chat.setContentType(1);
    chat.setContent(1, textOf(n));
    chat.setSenderId(n % 5 == 0 ? 1 : 2 + n % 3);
    chat.setSenderName(QStringLiteral("Member %1").arg(n % 3));
    chat.setMsgTime(kNewest - qint64(n) * 24 * 60 * 1000);
    chat.setMsgState(1);
    chat.setCount(n % 4);
    return chat;
}

QPixmap senderPicture()
{
    QPixmap picture(88, 88);
    picture.fill(QColor(120, 160, 200));
    return picture;
}

// Adds the page of chats [first, first + kPage) at the top, newest of them first, as paging
// does, and leaves the view at its top.
void addPage(MtChatWidget& view, int first, const QPixmap& picture, bool withItems = false)
{
    for (int n = first; n < first + kPage; ++n) {
        const DBChat chat = chatNumber(n);
        if (withItems)
            view.addChat(chat, chat.senderId() == 1, picture, QPixmap(), true);
        else
            view.addChatRow(chat, chat.senderId() == 1, picture, QPixmap(), true);
    }
    view.scrollToTop();
}

double pageMs(MtChatWidget& view, int first, const QPixmap& picture, bool withItems = false)
{
    QElapsedTimer clock;
    clock.start();
    addPage(view, first, picture, withItems);
    const double inserted = clock.nsecsElapsed() / 1e6;
    QCoreApplication::processEvents();
    const double processed = clock.nsecsElapsed() / 1e6;
    view.repaint();
    if (qEnvironmentVariableIsSet("BENCH_DETAIL"))
        std::printf("page at %d: inserted %.1f processed %.1f painted %.1f live %d\n", first,
                    inserted, processed, clock.nsecsElapsed() / 1e6, view.liveItemCount());
    return clock.nsecsElapsed() / 1e6;
}

// One chat appended at the bottom of a view that is at its bottom; the view stays there.
double appendMs(MtChatWidget& view, int n, const QPixmap& picture)
{
    DBChat chat = chatNumber(0);
    chat.setMsgId(QStringLiteral("new-%1").arg(n));
    chat.setMsgTime(kNewest + qint64(n + 1) * 1000);
    QElapsedTimer clock;
    clock.start();
    view.addChat(chat, false, picture, QPixmap(), false);
    const double a = clock.nsecsElapsed() / 1e6;
    view.scrollToBottom();
    const double b = clock.nsecsElapsed() / 1e6;
    QCoreApplication::processEvents();
    const double c = clock.nsecsElapsed() / 1e6;
    view.repaint();
    if (qEnvironmentVariableIsSet("BENCH_DETAIL"))
        std::printf("append at %d rows: add %.2f bottom %.2f events %.2f painted %.2f\n",
                    view.count(), a, b, c, clock.nsecsElapsed() / 1e6);
    return clock.nsecsElapsed() / 1e6;
}

double residentMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return std::numeric_limits<double>::quiet_NaN();
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return std::numeric_limits<double>::quiet_NaN();
}

MtChatWidget* shownView()
{
    auto* view = new MtChatWidget;
    view->resize(420, 640);
    view->show();
    settle();
    return view;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    mtInitResources();
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.warning=false"));
    const QPixmap picture = senderPicture();

    // Warm-up: fonts, styles and forms loaded once, outside every figure.
    {
        MtChatWidget* view = shownView();
        addPage(*view, kRows, picture);
        paint(*view);
        delete view;
        settle();
    }

    // The first page, into an empty view each time.
    QVector<double> firstPages;
    for (int i = 0; i < 7; ++i) {
        MtChatWidget* view = shownView();
        firstPages << pageMs(*view, 0, picture);
        delete view;
        settle();
    }

    // One chat appended to a view of 50.
    QVector<double> smallAppends;
    {
        MtChatWidget* view = shownView();
        addPage(*view, 0, picture);
        view->scrollToBottom();
        settle();
        for (int i = 0; i < kSamples; ++i) {
            smallAppends << appendMs(*view, i, picture);
            settle();
        }
        delete view;
        settle();
    }

    // Paged back through 10,000 chats.
    settle();
    const double rssBefore = residentMb();
    MtChatWidget* view = shownView();
    QVector<double> pages;
    for (int first = 0; first < kRows - kPage; first += kPage) {
        pages << pageMs(*view, first, picture);
        settle();
    }
    const double rssAfter = residentMb();
    // The page that makes 10,000 and a few beyond: one sample is too noisy on a shared machine.
    QVector<double> deepPages;
    for (int first = kRows - kPage; first < kRows + 6 * kPage; first += kPage) {
        deepPages << pageMs(*view, first, picture);
        settle();
    }
    const double deepPage = deepPages.first();
    QVector<double> itemPages;
    for (int first = kRows + 6 * kPage; first < kRows + 9 * kPage; first += kPage) {
        itemPages << pageMs(*view, first, picture, true);
        settle();
    }
    std::printf("chat view: %d rows, %d separators; first page median %.1f ms; pages at 50, "
                "2,000, 5,000, 9,950 rows: %.1f, %.1f, %.1f, %.1f ms; all pages %.0f ms\n",
                view->count(), view->dateItemCount(), MtBench::median(firstPages), pages.value(1),
                pages.value(40), pages.value(100), deepPage,
                std::accumulate(pages.begin(), pages.end(), 0.0));

    // One chat appended to the view of 10,000.
    view->scrollToBottom();
    settle();
    QVector<double> bigAppends;
    for (int i = 0; i < kSamples; ++i) {
        bigAppends << appendMs(*view, 1000 + i, picture);
        settle();
    }
    std::printf("chat view: a deep page through addChat (50 items made) median %.1f ms\n",
                MtBench::median(itemPages));
    std::printf("chat view: append median at 50 rows %.2f ms, at 10,000 rows %.2f ms; resident "
                "%.1f MB before, %.1f MB after\n",
                MtBench::median(smallAppends), MtBench::median(bigAppends), rssBefore, rssAfter);

    bool ok = true;
    // The deep page against the first page, and on its own against 30 ms.
    ok &= MtBench::print({QStringLiteral("chat.page.deep"), MtBench::median(deepPages),
                          QStringLiteral("ms"), MtBench::median(firstPages), MtBench::Bar::AtMost,
                          2.0});
    ok &= MtBench::print({QStringLiteral("chat.page.deep.ms"),
                          MtBench::median(deepPages),
                          QStringLiteral("ms"),
                          {},
                          MtBench::Bar::AtMost,
                          30.0});
    ok &= MtBench::print({QStringLiteral("chat.insert.bottom"), MtBench::median(bigAppends),
                          QStringLiteral("ms"), MtBench::median(smallAppends), MtBench::Bar::AtMost,
                          2.0});
    ok &= MtBench::print({QStringLiteral("chat.rss.10k"),
                          rssAfter - rssBefore,
                          QStringLiteral("MB"),
                          {},
                          MtBench::Bar::AtMost,
                          60.0});
    delete view;
    return ok ? 0 : 1;
}
