// Renders the conversation view with a dozen mixed items to a PNG file, so that its look can be
// checked by eye in both languages and on high-density screens (QT_SCALE_FACTOR=2). Beside it,
// the image viewer is drawn into viewer_<lang>.png in the same folder.
//
//   grab_conversation <out.png> [en|ko]
#include "resources/mtresources.h"
#include "widgets/mtchatwidget.h"
#include "widgets/mtimageviewer.h"
#include "widgets/mtmychatimageitem.h"

#include <QApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QPainter>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QTranslator>

namespace {

// Sky, sun and a hill.
QPixmap landscape(int width, int height)
{
    QPixmap pixmap(width, height);
    pixmap.fill(QColor(0xa8, 0xd4, 0xff));
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xff, 0xd2, 0x5e));
    painter.drawEllipse(QPointF(width * 0.75, height * 0.3), height * 0.12, height * 0.12);
    painter.setBrush(QColor(0x3c, 0x8d, 0x5a));
    painter.drawEllipse(QPointF(width * 0.3, height * 1.2), width * 0.9, height * 0.6);
    return pixmap;
}

// Alice, Bob, then the texts in the order the conversation uses them, split at "|".
const char kEnglish[] =
    "Alice Park|Bob Lee|Good morning! Did everyone get the agenda?|Yes. Shall we start at ten?|"
    "The draft is at https://docs.example.org/q3/plan/ and the old one at www.example.com/archive|"
    "Type <b>bold</b> and it stays as typed.|Three things before the meeting:\n1. read the draft\n"
    "2. bring the numbers for the second quarter, including the ones from the regional offices\n"
    "3. coffee|Alice Park invited Chris Kim|quarterly-report-final-v3.pdf|On my way, five minutes.|"
    "Thanks, see you there.|Alice Park : Thanks, see you there. The room is on the third floor";
const char kKorean[] =
    "박지민|이준호|좋은 아침입니다! 회의 안건 다들 받으셨나요?|네. 10시에 시작할까요?|"
    "초안은 https://docs.example.org/q3/plan/ 에 있고 이전 버전은 www.example.com/archive 에 "
    "있습니다|<b>굵게</b> 라고 입력하면 그대로 보입니다.|회의 전에 세 가지:\n1. 초안 읽기\n"
    "2. 지역 사무소 자료를 포함한 2분기 실적 수치 준비하기\n3. 커피|박지민 님이 김철수 님을 "
    "초대했습니다|분기보고서_최종_v3.pdf|가는 중이에요, 5분 걸려요.|감사합니다, 이따 봬요.|"
    "박지민 : 감사합니다, 이따 봬요. 회의실은 3층입니다";

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    auto settle = [](int rounds) {
        QEventLoop loop;
        QTimer::singleShot(50 * rounds, &loop, &QEventLoop::quit);
        loop.exec();
    };
    mtInitResources();
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        QTextStream(stderr) << "usage: grab_conversation <out.png> [en|ko]\n";
        return 2;
    }
    const bool ko = args.value(2) == QLatin1String("ko");
    QLocale::setDefault(ko ? QLocale(QLocale::Korean, QLocale::SouthKorea)
                           : QLocale(QLocale::English, QLocale::UnitedStates));
    for (const char* file : {":/qtbase_ko.qm", ":/lang_ko.qm", ":/ui_ko.qm", ":/db_ko.qm"}) {
        auto* translator = new QTranslator(&app);
        if (ko && translator->load(QString::fromLatin1(file)))
            QApplication::installTranslator(translator);
    }
    const QStringList t = QString::fromUtf8(ko ? kKorean : kEnglish).split(QLatin1Char('|'));

    QTemporaryDir files;
    const QString savedFile = files.filePath(QStringLiteral("saved.pdf"));
    QFile saved(savedFile); // on disk, so that its bubble offers to open it
    saved.open(QIODevice::WriteOnly);

    MtChatWidget view;
    view.resize(420, 1600);
    view.show();
    QPixmap alice(96, 96), bob(96, 96);
    alice.fill(QColor(0xe0, 0x7a, 0x5f));
    bob.fill(QColor(0x3d, 0x9a, 0x8b));
    const QPixmap none;
    const QDateTime day(QDate(2024, 3, 4), QTime(17, 42));
    auto at = [&](int h, int m) { return QDateTime(day.date().addDays(1), QTime(h, m)); };

    view.addChatMessage("m1", alice, t[0], 2, day, t[2], 1, 0, 16, false);
    view.addMyChatMessage("m2", none, QString(), 1, day.addSecs(120), t[3], 1, 2, 16, false);
    view.addAlarmMessage("m3", t[7], day.addSecs(300), false);
    view.addChatMessage("m4", bob, t[1], 3, at(9, 5), t[4], 1, 1, 16, false);
    view.addMyChatMessage("m5", none, QString(), 1, at(9, 7), t[5], 1, 3, 16, false);
    view.addChatImage("m6", alice, t[0], 2, at(9, 10), QString(), "view.jpg", landscape(480, 320),
                      480, 320, 2, 0, 16, false);
    view.addMyChatImage("m7", none, QString(), 1, at(9, 12), QString(), "clip.mp4",
                        landscape(320, 400), 320, 400, 3, 1, 16, false);
    view.addChatFile("m8", bob, t[1], 3, at(9, 15), QString(), t[8], 1234567, 0, 16, false);
    view.addMyChatFile("m9", none, QString(), 1, at(9, 18), savedFile, "budget.xlsx", 48213, 2, 16,
                       false);
    view.addMyChatMessage("m10", none, QString(), 1, at(9, 20), t[6], 1, 1, 16, false);
    view.addMyChatImage("m11", none, QString(), 1, at(9, 21), QString(), "photo.png",
                        landscape(300, 200), 300, 200, 2, 0, 0, false)
        ->setProgress(40);
    view.addMyChatFile("m12", none, QString(), 1, at(9, 22), QString(), "notes.txt", 0, 0, 1,
                       false);
    view.addMyChatMessage("m13", none, QString(), 1, at(9, 23), t[9], 1, 0, 0, false);
    view.addChatMessage("m14", alice, t[0], 2, at(9, 24), t[10], 1, 0, 16, false);
    settle(6);
    view.scrollToBottom();
    settle(2);
    view.showNewMessage(t[11]);
    settle(2);
    const QString out = args.at(1);
    if (!view.grab().save(out)) {
        QTextStream(stderr) << "cannot write " << out << "\n";
        return 1;
    }

    // The image viewer, named after the conversation's picture.
    MtImageViewer viewer;
    for (int i = 0; i < 6; ++i) {
        const QString path = files.filePath(QStringLiteral("p%1.png").arg(i));
        landscape(900 + 40 * i, 600).save(path);
        viewer.addImage(QString::number(i), t[i % 2], at(9, 10 + i), landscape(300, 200), path);
    }
    viewer.resize(640, 520);
    viewer.show();
    viewer.thumbItemSelected(QStringLiteral("2"));
    settle(3);
    const QString name = QFileInfo(out).fileName().mid(QStringLiteral("conversation").size());
    viewer.grab().save(QFileInfo(out).absolutePath() + QStringLiteral("/viewer") + name);
    return 0;
}
