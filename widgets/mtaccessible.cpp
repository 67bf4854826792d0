#include "widgets/mtaccessible.h"

#include <QAbstractButton>
#include <QAccessibleWidget>
#include <QWidget>

#include <algorithm>

namespace {
const char* const kRoleProperty = "mtAccessibleRole";

class DecorativeInterface : public QAccessibleWidget
{
public:
    explicit DecorativeInterface(QWidget* widget) : QAccessibleWidget(widget, QAccessible::Graphic)
    {}
    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.invisible = true;
        return state;
    }
};

QAccessibleInterface* factory(const QString&, QObject* object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    auto* widget = static_cast<QWidget*>(object);
    const QVariant role = object->property(kRoleProperty);
    if (!role.isValid())
        return nullptr;
    if (role.toInt() == QAccessible::Graphic)
        return new DecorativeInterface(widget);
    return new QAccessibleWidget(widget, QAccessible::Role(role.toInt()));
}

// Installed on first use: later factories are asked first, so this one overrides Qt's own
// widget interfaces, and only for the widgets marked here.
void mark(QWidget* widget, QAccessible::Role role)
{
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    Q_UNUSED(installed)
    widget->setProperty(kRoleProperty, int(role));
    // Setting a name (as a form does) makes and keeps the widget's interface even before a screen
    // reader listens: it is made anew, by the factory above, the next time it is asked for.
    if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(widget))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
}
} // namespace

void MtAccessible::hide(QWidget* widget)
{
    mark(widget, QAccessible::Graphic);
}

void MtAccessible::nameButtonsByToolTip(QWidget* window)
{
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        const QString text = button->text();
        const bool words =
            std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.isLetterOrNumber(); });
        if (button->accessibleName().isEmpty() && !words)
            button->setAccessibleName(button->toolTip());
    }
}

void MtAccessible::markAlert(QWidget* window)
{
    mark(window, QAccessible::AlertMessage);
}
