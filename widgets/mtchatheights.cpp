#include "widgets/mtchatheights.h"

#include "widgets/mtaccessible.h"
#include "widgets/mtchatbaseitem.h"
#include "widgets/mtchatentry.h"
#include "widgets/mtchatitemfactory.h"
#include "widgets/mtchatitemstate.h"
#include "widgets/mtchattext.h"
#include "widgets/mtchattextbrowser.h"
#include "widgets/mtchattextitem.h"

#include <QAbstractTextDocumentLayout>
#include <QLayout>
#include <QtMath>

namespace {
constexpr int kMinimumTextWidth = 40;
} // namespace

MtChatHeights::MtChatHeights(const QFont& font, const QString& styleSheet)
    : m_font(font), m_styleSheet(styleSheet)
{}

MtChatHeights::~MtChatHeights()
{
    qDeleteAll(m_measurers);
}

MtChatBaseItem* MtChatHeights::measurer(int type)
{
    MtChatBaseItem*& item = m_measurers[type];
    if (!item) {
        item = MtChatItemFactory::create(type, nullptr);
        if (!item)
            return nullptr;
        // Shown, so that its text boxes are told their width, but never on a screen.
        item->setAttribute(Qt::WA_DontShowOnScreen);
        MtAccessible::hide(item);
        item->setFont(m_font);
        // A style sheet above an item changes its widgets' metrics, whatever it selects; the
        // item's own rules stay.
        item->setStyleSheet(m_styleSheet + QLatin1Char('\n') + item->styleSheet());
        // Sized by the measuring only; its layout must not hand sizes on to a window.
        item->layout()->setSizeConstraint(QLayout::SetNoConstraint);
        item->show();
    }
    return item;
}

int MtChatHeights::height(const MtChatEntryData& data, int width)
{
    const int type = data.itemType;
    if (type == MtChatBaseItem::ItemType_Date) {
        auto known = m_dateHeights.constFind(width);
        if (known != m_dateHeights.constEnd())
            return *known;
        const int height = laidOut(data, width);
        m_dateHeights.insert(width, height);
        return height;
    }
    if (!isText(type))
        return laidOut(data, width);
    const TextModel& model = textModel(data, width);
    auto* box = static_cast<MtChatTextItem*>(measurer(type))->messageBox();
    const int textWidth =
        qMin(qMax(kMinimumTextWidth, box->widestLine(data.text)), model.available);
    const int text = textHeight(box, data.text, textWidth);
    return qMax(model.shortHeight, model.tallHeight + text - model.tallText);
}

bool MtChatHeights::isText(int type)
{
    return type == MtChatBaseItem::ItemType_Chat || type == MtChatBaseItem::ItemType_MyChat;
}

int MtChatHeights::estimate(const MtChatEntryData& data, int width)
{
    if (!isText(data.itemType))
        return height(data, width);
    const TextModel& model = textModel(data, width);
    // The tall sample holds twelve lines, the short one one.
    const int lineHeight = (model.tallHeight - model.shortHeight) / 11;
    const int lines = int(data.text.count(QLatin1Char('\n'))) + 1;
    return model.shortHeight + (lines - 1) * lineHeight;
}

int MtChatHeights::laidOut(const MtChatEntryData& data, int width)
{
    MtChatBaseItem* item = measurer(data.itemType);
    if (!item)
        return 0;
    MtChatItemFactory::fill(item, data);
    return MtChatItemFactory::measure(item, width);
}

const MtChatHeights::TextModel& MtChatHeights::textModel(const MtChatEntryData& data, int width)
{
    const bool own = data.itemType == MtChatBaseItem::ItemType_MyChat;
    const QString key = QStringLiteral("%1/%2/%3/%4/%5")
                            .arg(data.itemType)
                            .arg(data.contentType == 4)
                            .arg(data.readCount > 0)
                            .arg(own ? data.state : int(MtChatItemState::Settled))
                            .arg(width);
    auto known = m_models.constFind(key);
    if (known != m_models.constEnd())
        return *known;
    // Every conversation view lays its items out in the same font, style and language: what
    // one learnt serves the windows opened after it, which would otherwise lay the samples out
    // again. The texts beside the bubble stand for the language.
    static QHash<QString, TextModel> learnt;
    const QString scoped = QStringList{m_font.key(), m_styleSheet, MtChatText::readCountText(1),
                                       MtChatText::timeText(QTime(23, 59)), key}
                               .join(QLatin1Char('\n'));
    auto shared = learnt.constFind(scoped);
    if (shared != learnt.constEnd())
        return *m_models.insert(key, *shared);
    auto* item = static_cast<MtChatTextItem*>(measurer(data.itemType));
    MtChatEntryData sample = data;
    TextModel model;
    sample.text = QStringLiteral("x");
    model.shortHeight = laidOut(sample, width);
    QStringList lines;
    for (int i = 0; i < 12; ++i)
        lines << QStringLiteral("x");
    sample.text = lines.join(QLatin1Char('\n'));
    model.tallHeight = laidOut(sample, width);
    model.tallText = item->messageBox()->documentHeight();
    // A line longer than any row: the box takes all the room the bubble has.
    sample.text = QString(2000, QLatin1Char('x'));
    laidOut(sample, width);
    model.available = item->messageBox()->width();
    learnt.insert(scoped, model);
    return *m_models.insert(key, model);
}

int MtChatHeights::textHeight(MtChatTextBrowser* box, const QString& text, int textWidth)
{
    if (!m_documentReady) {
        // Laid out as the bubble's own text box lays its document out.
        const QTextDocument* shown = box->document();
        m_document.setDefaultFont(shown->defaultFont());
        m_document.setDefaultTextOption(shown->defaultTextOption());
        m_document.setDocumentMargin(shown->documentMargin());
        m_document.setDefaultStyleSheet(shown->defaultStyleSheet());
        m_document.setUseDesignMetrics(shown->useDesignMetrics());
        m_documentReady = true;
    }
    m_document.setTextWidth(textWidth);
    m_document.setHtml(MtChatText::ahrefMessage(text));
    return qCeil(m_document.size().height());
}
