// Renders the conversation view with a dozen mixed items to a PNG file, so that its look can be
// checked by eye in both languages and on high-density screens (QT_SCALE_FACTOR=2). Beside it,
// the image viewer, the message box and the loading overlay are drawn into viewer_<lang>.png,
// messagebox_<lang>.png and loading_<lang>.png in the same folder.
//
//   grab_conversation <out.png> [en|ko]
//
// With GRAB_DEBUG=1 it also prints, per row, the heights of the row, its item and the item's
// layout, and where the time label and the bubble sit, to find rows that clip their content.
#include "resources/mtresources.h"
#include "widgets/mtchatfileitem.h"
#include "widgets/mtchatimageitem.h"
#include "widgets/mtchatitem.h"
#include "widgets/mtchatwidget.h"
#include "widgets/mtimageviewer.h"
#include "widgets/mtloadingwidget.h"
#include "widgets/mtmessagedialog.h"
#include "widgets/mtmychatfileitem.h"
#include "widgets/mtmychatimageitem.h"
#include "widgets/mtmychatitem.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLinearGradient>
#include <QPainter>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QTranslator>
#include <QVBoxLayout>

namespace {

QPixmap avatar(const QColor& colour, const QString& letter)
{
    QPixmap pixmap(96, 96);
    pixmap.fill(colour);
    QPainter painter(&pixmap);
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setPixelSize(44);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, letter);
    return pixmap;
}

QPixmap landscape(int width, int height)
{
    QPixmap pixmap(width, height);
    QPainter painter(&pixmap);
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, QColor(0x8e, 0xc5, 0xff));
    sky.setColorAt(1, QColor(0xe8, 0xf3, 0xff));
    painter.fillRect(pixmap.rect(), sky);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(0xff, 0xd2, 0x5e));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPointF(width * 0.75, height * 0.3), height * 0.12, height * 0.12);
    painter.setBrush(QColor(0x3c, 0x8d, 0x5a));
    QPolygonF hills;
    hills << QPointF(0, height) << QPointF(0, height * 0.7) << QPointF(width * 0.3, height * 0.5)
          << QPointF(width * 0.6, height * 0.75) << QPointF(width, height * 0.55)
          << QPointF(width, height);
    painter.drawPolygon(hills);
    return pixmap;
}

void settle(int rounds)
{
    for (int i = 0; i < rounds; ++i) {
        QEventLoop loop;
        QTimer::singleShot(50, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

struct Texts
{
    QString alice, bob, hello, question, link, tags, longText, notice, fileName, pending, reply,
        newMessage;
};

Texts english()
{
    return {QStringLiteral("Alice Park"),
            QStringLiteral("Bob Lee"),
            QStringLiteral("Good morning! Did everyone get the agenda?"),
            QStringLiteral("Yes. Shall we start at ten?"),
            QStringLiteral("The draft is at https://docs.example.org/q3/plan/ and the old one at "
                           "www.example.com/archive"),
            QStringLiteral("Type <b>bold</b> and it stays as typed."),
            QStringLiteral("Three things before the meeting:\n1. read the draft\n2. bring the "
                           "numbers for the second quarter, including the ones from the "
                           "regional offices\n3. coffee"),
            QStringLiteral("Alice Park invited Chris Kim"),
            QStringLiteral("quarterly-report-final-v3.pdf"),
            QStringLiteral("On my way, five minutes."),
            QStringLiteral("Thanks, see you there."),
            QStringLiteral("Alice Park : Thanks, see you there. The room is on the third floor")};
}

Texts korean()
{
    return {QStringLiteral("박지민"),
            QStringLiteral("이준호"),
            QStringLiteral("좋은 아침입니다! 회의 안건 다들 받으셨나요?"),
            QStringLiteral("네. 10시에 시작할까요?"),
            QStringLiteral("초안은 https://docs.example.org/q3/plan/ 에 있고 이전 버전은 "
                           "www.example.com/archive 에 있습니다"),
            QStringLiteral("<b>굵게</b> 라고 입력하면 그대로 보입니다."),
            QStringLiteral("회의 전에 세 가지:\n1. 초안 읽기\n2. 지역 사무소 자료를 포함한 2분기 "
                           "실적 수치 준비하기\n3. 커피"),
            QStringLiteral("박지민 님이 김철수 님을 초대했습니다"),
            QStringLiteral("분기보고서_최종_v3.pdf"),
            QStringLiteral("가는 중이에요, 5분 걸려요."),
            QStringLiteral("감사합니다, 이따 봬요."),
            QStringLiteral("박지민 : 감사합니다, 이따 봬요. 회의실은 3층입니다")};
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    mtInitResources();
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        QTextStream(stderr) << "usage: grab_conversation <out.png> [en|ko]\n";
        return 2;
    }
    const bool ko = args.value(2) == QLatin1String("ko");
    QLocale::setDefault(ko ? QLocale(QLocale::Korean, QLocale::SouthKorea)
                           : QLocale(QLocale::English, QLocale::UnitedStates));
    QList<QTranslator*> translators;
    if (ko) {
        for (const char* file : {":/qtbase_ko.qm", ":/lang_ko.qm", ":/ui_ko.qm", ":/db_ko.qm"}) {
            auto* translator = new QTranslator(&app);
            if (translator->load(QString::fromLatin1(file)))
                QApplication::installTranslator(translator);
        }
    }
    const Texts t = ko ? korean() : english();

    QTemporaryDir files;
    const QString savedFile = files.filePath(QStringLiteral("saved.pdf"));
    QFile saved(savedFile);
    if (saved.open(QIODevice::WriteOnly))
        saved.write("%PDF-1.4");
    saved.close();

    QWidget window;
    window.setWindowTitle(QStringLiteral("conversation"));
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* view = new MtChatWidget(&window);
    layout->addWidget(view);
    window.resize(420, 1600);
    window.show();

    const QPixmap alice = avatar(QColor(0xe0, 0x7a, 0x5f), t.alice.left(1));
    const QPixmap bob = avatar(QColor(0x3d, 0x9a, 0x8b), t.bob.left(1));
    const QDate today(2024, 3, 5);
    const QDateTime yesterday(today.addDays(-1), QTime(17, 42));
    auto at = [&](int h, int m) { return QDateTime(today, QTime(h, m)); };

    view->addChatMessage(QStringLiteral("m1"), alice, t.alice, 2, yesterday, t.hello, 1, 0, 16,
                         false);
    view->addMyChatMessage(QStringLiteral("m2"), QPixmap(), QString(), 1, yesterday.addSecs(120),
                           t.question, 1, 2, 16, false);
    view->addAlarmMessage(QStringLiteral("m3"), t.notice, yesterday.addSecs(300), false);
    view->addChatMessage(QStringLiteral("m4"), bob, t.bob, 3, at(9, 5), t.link, 1, 1, 16, false);
    view->addMyChatMessage(QStringLiteral("m5"), QPixmap(), QString(), 1, at(9, 7), t.tags, 1, 3,
                           16, false);
    view->addChatImage(QStringLiteral("m6"), alice, t.alice, 2, at(9, 10), QString(),
                       QStringLiteral("view.jpg"), landscape(480, 320), 480, 320, 2, 0, 16, false);
    view->addMyChatImage(QStringLiteral("m7"), QPixmap(), QString(), 1, at(9, 12), QString(),
                         QStringLiteral("clip.mp4"), landscape(320, 400), 320, 400, 3, 1, 16,
                         false);
    view->addChatFile(QStringLiteral("m8"), bob, t.bob, 3, at(9, 15), QString(), t.fileName,
                      1234567, 0, 16, false);
    view->addMyChatFile(QStringLiteral("m9"), QPixmap(), QString(), 1, at(9, 18), savedFile,
                        QStringLiteral("budget.xlsx"), 48213, 2, 16, false);
    view->addMyChatMessage(QStringLiteral("m10"), QPixmap(), QString(), 1, at(9, 20), t.longText, 1,
                           1, 16, false);
    auto* sending = view->addMyChatImage(QStringLiteral("m11"), QPixmap(), QString(), 1, at(9, 21),
                                         QString(), QStringLiteral("photo.png"),
                                         landscape(300, 200), 300, 200, 2, 0, 0, false);
    sending->setProgress(40);
    view->addMyChatFile(QStringLiteral("m12"), QPixmap(), QString(), 1, at(9, 22), QString(),
                        QStringLiteral("notes.txt"), 0, 0, 1, false);
    view->addMyChatMessage(QStringLiteral("m13"), QPixmap(), QString(), 1, at(9, 23), t.pending, 1,
                           0, 0, false);
    view->addChatMessage(QStringLiteral("m14"), alice, t.alice, 2, at(9, 24), t.reply, 1, 0, 16,
                         false);
    settle(6);
    view->scrollToBottom();
    settle(2);
    view->showNewMessage(t.newMessage);
    settle(2);
    if (qEnvironmentVariableIsSet("GRAB_DEBUG")) {
        for (int row = 0; row < view->count(); ++row) {
            QTextStream err(stderr);
            err << row << " rect " << view->visualItemRect(view->item(row)).height() << " widget "
                << view->chatItem(row)->height();
            for (QLabel* l : view->chatItem(row)->findChildren<QLabel*>()) {
                if (l->objectName() == QLatin1String("timeLabel"))
                    err << " time@" << l->geometry().y() << "+" << l->height();
            }
            if (auto* box = view->chatItem(row)->findChild<QGroupBox*>())
                err << " box@" << box->geometry().y() << "+" << box->height();
            QLayout* lay = view->chatItem(row)->layout();
            err << " layout " << lay->geometry().y() << "+" << lay->geometry().height() << " min "
                << lay->minimumSize().height() << " hint " << lay->sizeHint().height();
            for (QLayout* sub : view->chatItem(row)->findChildren<QLayout*>()) {
                if (sub->objectName() == QLatin1String("infoLayout"))
                    err << " info " << sub->geometry().y() << "+" << sub->geometry().height();
            }
            err << "\n";
        }
    }
    const QString out = args.at(1);
    QDir().mkpath(QFileInfo(out).absolutePath());
    if (!window.grab().save(out)) {
        QTextStream(stderr) << "cannot write " << out << "\n";
        return 1;
    }
    QTextStream(stdout) << out << "\n";

    // The shared windows, named after the conversation's picture.
    const QString folder = QFileInfo(out).absolutePath() + QLatin1Char('/');
    const QString suffix = QFileInfo(out).fileName().mid(QStringLiteral("conversation").size());
    MtImageViewer viewer;
    for (int i = 0; i < 6; ++i) {
        const QString path = files.filePath(QStringLiteral("p%1.png").arg(i));
        landscape(900 + 40 * i, 600).save(path);
        viewer.addImage(QString::number(i), i % 2 ? t.alice : t.bob, at(9, 10 + i),
                        landscape(300, 200), path);
    }
    viewer.resize(640, 520);
    viewer.show();
    viewer.thumbItemSelected(QStringLiteral("2"));
    settle(3);
    viewer.grab().save(folder + QStringLiteral("viewer") + suffix);

    MtMessageDialog box;
    box.setText(ko ? QStringLiteral("대화방을 나가시겠습니까?")
                   : QStringLiteral("Do you want to leave this room?"));
    box.show();
    settle(2);
    box.grab().save(folder + QStringLiteral("messagebox") + suffix);

    QWidget busy;
    busy.resize(360, 240);
    busy.setStyleSheet(QStringLiteral("background-color: #e4eaee;"));
    busy.show();
    MtLoadingWidget loading(&busy);
    loading.show();
    for (int i = 0; i < 5; ++i)
        loading.timerTimeout();
    settle(1);
    busy.grab().save(folder + QStringLiteral("loading") + suffix);
    return 0;
}
